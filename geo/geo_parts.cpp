// The GeoParts record: its making from a PartsBuilder and its free partner.

#include "geo_parts.h"

#include <cstdlib>

namespace ordane {
namespace carto {

bool PartsBuilder::finish(GeoParts** out) {
  GeoParts* p = static_cast<GeoParts*>(std::calloc(1, sizeof(GeoParts)));
  if (p == nullptr) return false;
  p->num_points = static_cast<int64_t>(points_.size() / 2);
  p->num_parts = static_cast<int64_t>(sources_.size());
  p->points = points_.release();
  p->part_offsets = offsets_.release();
  p->source_parts = sources_.release();
  p->part_flags = flags_.release();
  *out = p;
  return true;
}

}  // namespace carto
}  // namespace ordane

extern "C" ORDANE_API void ordane_free_parts(GeoParts* parts) {
  if (parts == nullptr) return;
  std::free(parts->points);
  std::free(parts->part_offsets);
  std::free(parts->source_parts);
  std::free(parts->part_flags);
  std::free(parts);
}
