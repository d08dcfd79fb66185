// The two modes of ordane_cut_parts(): antimeridian_cut.cpp and
// horizon_clip.cpp. Both append their pieces to "out"; they throw
// TooLarge or std::bad_alloc, which the export turns into result codes.
#ifndef ORDANE_GEO_CARTO_CUT_H
#define ORDANE_GEO_CARTO_CUT_H

#include <cstdint>

#include "geo_parts.h"
#include "ordane.h"

namespace ordane {
namespace carto {

int32_t cut_antimeridian(const double* points, const int64_t* part_offsets, int64_t part_count,
                         bool rings, const GeoCutOptions& options, PartsBuilder& out);
int32_t clip_horizon(const double* points, const int64_t* part_offsets, int64_t part_count,
                     bool rings, const GeoCutOptions& options, PartsBuilder& out);

}  // namespace carto
}  // namespace ordane

#endif  // ORDANE_GEO_CARTO_CUT_H
