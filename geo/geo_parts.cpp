// The GeoParts record: its making from a PartsBuilder and its free partner.

#include "geo_parts.h"

#include <cstdlib>
#include <cstring>

namespace ordane {
namespace carto {

namespace {

template <typename T>
bool copy_out(const std::vector<T>& v, T** dst) {
  *dst = nullptr;
  if (v.empty()) return true;
  *dst = static_cast<T*>(std::malloc(v.size() * sizeof(T)));
  if (*dst == nullptr) return false;
  std::memcpy(*dst, v.data(), v.size() * sizeof(T));
  return true;
}

}  // namespace

bool PartsBuilder::finish(GeoParts** out) {
  GeoParts* p = static_cast<GeoParts*>(std::calloc(1, sizeof(GeoParts)));
  if (p == nullptr) return false;
  p->num_points = static_cast<int64_t>(points_.size() / 2);
  p->num_parts = static_cast<int64_t>(sources_.size());
  if (!copy_out(points_, &p->points) || !copy_out(offsets_, &p->part_offsets) ||
      !copy_out(sources_, &p->source_parts) || !copy_out(flags_, &p->part_flags)) {
    ordane_free_parts(p);
    return false;
  }
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
