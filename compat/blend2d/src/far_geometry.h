// Private to bl2dcompat: geometry reaching far outside the image.
//
// Cairo keeps device coordinates in 24.8 fixed point (about +-8.3e6 pixels),
// so anything reaching further renders wrongly or makes Cairo spin, and its
// rasteriser already spoils long slanted edges well inside that range.  Such
// geometry is flattened and clipped here, in double precision, to a box with
// a margin around the image; only the clipped result reaches Cairo.
// Nothing here calls Cairo; the vectors may throw std::bad_alloc.
#ifndef BL2DCOMPAT_FAR_GEOMETRY_H
#define BL2DCOMPAT_FAR_GEOMETRY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bl2d {

struct Pt {
  double x, y;
};

inline Pt operator+(Pt a, Pt b) { return {a.x + b.x, a.y + b.y}; }
inline Pt operator-(Pt a, Pt b) { return {a.x - b.x, a.y - b.y}; }
inline Pt operator*(Pt a, double s) { return {a.x * s, a.y * s}; }

// Closed axis-aligned box [x0, x1] x [y0, y1].
struct Box {
  double x0, y0, x1, y1;
  bool contains(Pt p) const { return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1; }
};

// Collects a path as polylines.  Curves are flattened to within
// kFlattenTolerance pixels wherever they may reach the cull box; a curve
// piece whose control points' bounding box misses it is replaced by its chord,
// which changes neither the winding numbers inside the box nor, when the
// cull box is grown by the stroke's reach, the stroke within the box.
// Points inside a flattened curve are marked smooth.  Figures with fewer
// than two points are dropped.  Takes the same calls as the path walker's
// other sinks.
class Flattener {
 public:
  struct Figure {
    size_t begin, end;  // range in points()
    bool closed;
  };

  // exact_ends: also split the end pieces of each curve until their chords
  // follow the end tangents (wanted for strokes).
  Flattener(Box cull, bool exact_ends) : cull_(cull), exact_ends_(exact_ends) {}

  void move(Pt p);
  void line(Pt p);
  void cubic(Pt p0, Pt c1, Pt c2, Pt p3);
  void conic(Pt p0, Pt c, Pt p2, double w);
  void close();
  void finish();  // ends the last figure; call once after the walk

  const std::vector<Pt>& points() const { return pts_; }
  const std::vector<uint8_t>& smooth() const { return smooth_; }  // parallel to points()
  const std::vector<Figure>& figures() const { return figs_; }

 private:
  struct CubicPiece {
    Pt p[4];
    int depth;
    unsigned ends;  // 1: starts the curve, 2: ends it
  };
  struct ConicPiece {
    Pt p[3];
    double w;
    int depth;
    unsigned ends;
  };

  void end_figure(bool closed);
  void add(Pt p, bool smooth) {
    pts_.push_back(p);
    smooth_.push_back(smooth ? 1 : 0);
  }

  Box cull_;
  bool exact_ends_;
  std::vector<Pt> pts_;
  std::vector<uint8_t> smooth_;
  std::vector<Figure> figs_;
  std::vector<CubicPiece> cubic_stack_;
  std::vector<ConicPiece> conic_stack_;
  size_t fig_begin_ = 0;
  Pt start_{0.0, 0.0};
  // Subdivisions left for the whole path: bounds the work on any input
  // (past it, curve pieces are drawn as chords).
  size_t budget_ = size_t{1} << 18;
};

// Sutherland-Hodgman: clips the closed polygon in[0..n) to the box into *out
// (cleared first; left empty when fewer than three points remain).  Clipping
// each figure of a path on its own keeps the non-zero winding number of every
// point inside the box.  *scratch is working storage.
void clip_polygon(const Pt* in, size_t n, const Box& box, std::vector<Pt>* out, std::vector<Pt>* scratch);

// The parts within the box of the stroke of the polyline pts[0..n): butt
// caps, miter joins falling back to bevels beyond `miter_limit`, closed
// figures joined at their start.  Where smooth[i] is set (a point inside a
// flattened curve) the join is round, as the stroke of a smooth curve is.  Each part (a segment's band or a join) is
// built as the box cut by the half-planes bounding it, so only points near
// the box are ever interpolated: the result is exact for any width and any
// distance.  The convex parts, all wound the same way, are appended to *out
// with their point counts in *sizes; filled together with the non-zero rule
// they cover the stroke.  Returns true, leaving the rest undone, as soon as
// one part covers the whole box.
bool stroke_polyline(const Pt* pts, const uint8_t* smooth, size_t n, bool closed, double half_width, double miter_limit, const Box& box,
                     std::vector<Pt>* out, std::vector<size_t>* sizes);

enum class CircleCover { kNone, kWhole, kPartial };

// How a disc with finite centre and radius r > 0 meets the box.  For
// kPartial, *out receives a polygon inside the disc (chord error below
// `tolerance`) that covers every point of the disc within the box: the
// centre followed by the arc over the angles the box spans as seen from it.
CircleCover circle_polygon(Pt c, double r, const Box& box, double tolerance, std::vector<Pt>* out);

}  // namespace bl2d

#endif  // BL2DCOMPAT_FAR_GEOMETRY_H
