// Neighbouring countries in the sample share their border vertices exactly,
// so an edge that occurs in two rings is a border and an edge that occurs in
// one ring only is coastline. Coordinates are compared after rounding to
// 1e-7 degrees (about a centimetre), which absorbs printing noise.
#include "topology.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace poster {

namespace {

struct EdgeKey {
  int64_t ax, ay, bx, by;  // the smaller end first, so that direction does not matter
  bool operator==(const EdgeKey& o) const {
    return ax == o.ax && ay == o.ay && bx == o.bx && by == o.by;
  }
};

struct EdgeKeyHash {
  size_t operator()(const EdgeKey& k) const {
    uint64_t h = 1469598103934665603ull;
    for (int64_t v : {k.ax, k.ay, k.bx, k.by}) {
      h ^= static_cast<uint64_t>(v);
      h *= 1099511628211ull;
    }
    return static_cast<size_t>(h);
  }
};

struct EdgeUse {
  int32_t first_shape;
  int32_t other_shape;  // -1 while the edge has been seen once
  int32_t uses;
};

// Rounds a coordinate for comparison; false for values too large to round
// into an int64 (or not finite), which then never match anything.
bool quantise(double v, int64_t* out) {
  const double q = std::round(v * 1e7);
  if (!(std::fabs(q) < 9.0e18)) return false;
  *out = static_cast<int64_t>(q);
  return true;
}

bool edge_key(const double* a, const double* b, EdgeKey* key) {
  int64_t ax, ay, bx, by;
  if (!quantise(a[0], &ax) || !quantise(a[1], &ay) || !quantise(b[0], &bx) || !quantise(b[1], &by))
    return false;
  if (std::make_pair(ax, ay) > std::make_pair(bx, by)) {
    std::swap(ax, bx);
    std::swap(ay, by);
  }
  *key = EdgeKey{ax, ay, bx, by};
  return true;
}

// Edges where the map was cut, not coast: along the antimeridian, along a
// pole where a ring around it is closed, or a jump of a full turn.
bool on_seam(const double* a) {
  const double lon0 = a[0], lon1 = a[2];
  if (std::fabs(lon1 - lon0) > 180.0) return true;
  if (a[1] == a[3] && std::fabs(a[1]) == 90.0) return true;
  return lon0 == lon1 && std::fabs(std::remainder(lon0, 360.0)) == 180.0;
}

}  // namespace

Topology analyse_topology(const MapData& map, int palette_size) {
  Topology topo;
  const int32_t shapes = map.num_shapes;
  topo.colour.assign(static_cast<size_t>(shapes), 0);

  if (map.kind == GeometryKind::kLine) {
    // The lines of a polyline file are drawn on as they are.
    for (const Part& p : map.parts) {
      if (p.end - p.start < 2) continue;
      topo.coast.insert(topo.coast.end(), map.lonlat.begin() + 2 * p.start,
                        map.lonlat.begin() + 2 * p.end);
      topo.coast_ends.push_back(static_cast<int64_t>(topo.coast.size() / 2));
    }
    return topo;
  }
  if (map.kind != GeometryKind::kPolygon) return topo;

  std::unordered_map<EdgeKey, EdgeUse, EdgeKeyHash> edges;
  edges.reserve(map.lonlat.size());
  const double* pts = map.lonlat.data();
  for (const Part& p : map.parts) {
    for (int64_t i = p.start; i + 1 < p.end; ++i) {
      EdgeKey key;
      if (!edge_key(pts + 2 * i, pts + 2 * i + 2, &key)) continue;
      auto it = edges.find(key);
      if (it == edges.end()) {
        edges.emplace(key, EdgeUse{p.shape, -1, 1});
      } else {
        ++it->second.uses;
        if (it->second.first_shape != p.shape) it->second.other_shape = p.shape;
      }
    }
  }

  // Coastline: runs of edges used once, walked around each ring starting
  // just after a border edge so that a run never breaks at the ring's seam.
  for (const Part& p : map.parts) {
    const int64_t edges_in_ring = p.end - p.start - 1;
    if (edges_in_ring < 1) continue;
    std::vector<char> coast(static_cast<size_t>(edges_in_ring));
    int64_t first_border = -1;
    for (int64_t e = 0; e < edges_in_ring; ++e) {
      EdgeKey key;
      const int64_t i = p.start + e;
      bool is_coast = false;
      if (edge_key(pts + 2 * i, pts + 2 * i + 2, &key))
        is_coast = edges.at(key).uses == 1 && !(map.geographic && on_seam(pts + 2 * i));
      coast[static_cast<size_t>(e)] = is_coast;
      if (!is_coast && first_border < 0) first_border = e;
    }
    const int64_t begin = first_border < 0 ? 0 : first_border + 1;
    bool open = false;
    for (int64_t step = 0; step < edges_in_ring; ++step) {
      const int64_t e = (begin + step) % edges_in_ring;
      const int64_t i = p.start + e;
      if (coast[static_cast<size_t>(e)]) {
        if (!open) {
          topo.coast.push_back(pts[2 * i]);
          topo.coast.push_back(pts[2 * i + 1]);
          open = true;
        }
        topo.coast.push_back(pts[2 * i + 2]);
        topo.coast.push_back(pts[2 * i + 3]);
      } else if (open) {
        topo.coast_ends.push_back(static_cast<int64_t>(topo.coast.size() / 2));
        open = false;
      }
    }
    if (open) topo.coast_ends.push_back(static_cast<int64_t>(topo.coast.size() / 2));
  }

  // Colouring: neighbours from shared edges, then greedy, most connected
  // shapes first.
  std::vector<std::unordered_set<int32_t>> adjacent(static_cast<size_t>(shapes));
  for (const auto& kv : edges) {
    const EdgeUse& u = kv.second;
    if (u.other_shape < 0 || u.first_shape >= shapes || u.other_shape >= shapes) continue;
    adjacent[static_cast<size_t>(u.first_shape)].insert(u.other_shape);
    adjacent[static_cast<size_t>(u.other_shape)].insert(u.first_shape);
  }
  std::vector<int32_t> order(static_cast<size_t>(shapes));
  for (int32_t k = 0; k < shapes; ++k) order[static_cast<size_t>(k)] = k;
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return adjacent[static_cast<size_t>(a)].size() > adjacent[static_cast<size_t>(b)].size();
  });
  std::vector<int> used_count(static_cast<size_t>(std::max(palette_size, 1)), 0);
  std::vector<char> assigned(static_cast<size_t>(shapes), 0);
  for (int32_t k : order) {
    std::vector<char> taken(used_count.size(), 0);
    for (int32_t nb : adjacent[static_cast<size_t>(k)])
      if (assigned[static_cast<size_t>(nb)])
        taken[static_cast<size_t>(topo.colour[static_cast<size_t>(nb)])] = 1;
    // The least used free colour keeps the palette balanced across the map.
    int best = -1;
    for (size_t c = 0; c < taken.size(); ++c)
      if (!taken[c] && (best < 0 || used_count[c] < used_count[static_cast<size_t>(best)]))
        best = static_cast<int>(c);
    if (best < 0) best = static_cast<int>(static_cast<size_t>(k) % used_count.size());
    topo.colour[static_cast<size_t>(k)] = best;
    ++used_count[static_cast<size_t>(best)];
    assigned[static_cast<size_t>(k)] = 1;
  }
  return topo;
}

}  // namespace poster
