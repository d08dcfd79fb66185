// Shared edges: coastline is what one shape alone owns, neighbours get
// different colours.
#include "topology.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using poster::MapData;
using poster::Part;

double line_length(const poster::Topology& t) {
  double total = 0.0;
  int64_t begin = 0;
  for (int64_t end : t.coast_ends) {
    for (int64_t i = begin + 1; i < end; ++i)
      total += std::hypot(t.coast.data()[2 * i] - t.coast.data()[2 * i - 2],
                          t.coast.data()[2 * i + 1] - t.coast.data()[2 * i - 1]);
    begin = end;
  }
  return total;
}

MapData two_neighbours_and_an_island() {
  MapData m;
  m.kind = poster::GeometryKind::kPolygon;
  m.num_shapes = 3;
  m.geographic = true;
  // Squares (0..1) and (1..2) share the edge x = 1; a third square stands apart.
  m.lonlat = {0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1, 1, 2,
              1, 2, 0, 1, 0, 5, 5, 5, 6, 6, 6, 6, 5, 5, 5};
  m.parts = {Part{0, 5, 0}, Part{5, 10, 1}, Part{10, 15, 2}};
  return m;
}

TEST(analyse_topology, CoastIsEveryEdgeThatOnlyOneShapeOwns) {
  const poster::Topology t = poster::analyse_topology(two_neighbours_and_an_island(), 6);
  // Two squares' outer boundary (6) plus the island's (4); the shared edge is a border.
  EXPECT_DOUBLE_EQ(line_length(t), 10.0);
  // A run never starts in the middle of the coast: each square's coast is
  // one line, and the island is one closed line.
  EXPECT_EQ(t.coast_ends.size(), 3u);
}

TEST(analyse_topology, NeighboursGetDifferentColours) {
  const poster::Topology t = poster::analyse_topology(two_neighbours_and_an_island(), 6);
  ASSERT_EQ(t.colour.size(), 3u);
  EXPECT_NE(t.colour[0], t.colour[1]);
  for (int c : t.colour) {
    EXPECT_GE(c, 0);
    EXPECT_LT(c, 6);
  }
}

TEST(analyse_topology, CutsAlongTheAntimeridianAreNotCoast) {
  MapData m;
  m.kind = poster::GeometryKind::kPolygon;
  m.num_shapes = 1;
  m.geographic = true;
  // A square whose east side lies on 180 E.
  m.lonlat = {179, 0, 179, 1, 180, 1, 180, 0, 179, 0};
  m.parts = {Part{0, 5, 0}};
  EXPECT_DOUBLE_EQ(line_length(poster::analyse_topology(m, 6)), 3.0);
}

}  // namespace
