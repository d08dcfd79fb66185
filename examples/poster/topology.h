// What the renderer learns from shared edges between shapes: which shapes
// touch (for colouring neighbours apart) and which edges belong to one shape
// only (the coastline, for the reveal).
#ifndef QUILLON_POSTER_TOPOLOGY_H
#define QUILLON_POSTER_TOPOLOGY_H

#include <cstdint>
#include <vector>

#include "map_data.h"

namespace poster {

struct Topology {
  // Coastline polylines in file coordinates: interleaved pairs, each line
  // [line_ends[i - 1], line_ends[i]) in pairs (line_ends[-1] taken as 0).
  std::vector<double> coast;
  std::vector<int64_t> coast_ends;
  // One palette index per shape; shapes that share an edge differ when the
  // palette is large enough.
  std::vector<int> colour;
};

Topology analyse_topology(const MapData& map, int palette_size);

}  // namespace poster

#endif  // QUILLON_POSTER_TOPOLOGY_H
