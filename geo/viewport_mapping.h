// The per-point viewport mapping of a GeoTransform, shared by
// ordane_transform_coords and the path builders so that a point lands on the
// same pixel whichever of them maps it. Private to libordane.
#ifndef ORDANE_GEO_VIEWPORT_MAPPING_H
#define ORDANE_GEO_VIEWPORT_MAPPING_H

#include "ordane.h"

namespace ordane {

struct MappedPoint {
  double x;
  double y;
};

// The fields of a GeoTransform that the mapping reads, taken once per call.
// A null record, or a scale of exactly 0, is the identity: points pass
// unchanged and are not flipped either. A NaN scale is not 0 and maps every
// point to NaN.
class ViewportMapping {
 public:
  explicit ViewportMapping(const GeoTransform* t)
      : identity_(t == nullptr || t->scale == 0.0),
        flip_(t != nullptr && t->flip_y != 0),
        min_x_(t ? t->min_x : 0.0),
        min_y_(t ? t->min_y : 0.0),
        scale_(t ? t->scale : 0.0),
        offset_x_(t ? t->offset_x : 0.0),
        offset_y_(t ? t->offset_y : 0.0),
        height_(t ? t->height : 0.0) {}

  bool identity() const { return identity_; }

  // (x - min_x) * scale + offset_x, (y - min_y) * scale + offset_y; with
  // flip_y the y is mirrored inside the full viewport height, margins
  // included, so north points up on a screen whose y grows downwards.
  MappedPoint operator()(double x, double y) const {
    if (identity_) return MappedPoint{x, y};
    MappedPoint p;
    p.x = (x - min_x_) * scale_ + offset_x_;
    p.y = (y - min_y_) * scale_ + offset_y_;
    if (flip_) p.y = height_ - p.y;
    return p;
  }

 private:
  bool identity_;
  bool flip_;
  double min_x_;
  double min_y_;
  double scale_;
  double offset_x_;
  double offset_y_;
  double height_;
};

}  // namespace ordane

#endif  // ORDANE_GEO_VIEWPORT_MAPPING_H
