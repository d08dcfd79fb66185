// Angle conversion factors used by every library. The literals are part of
// the results: callers compare outputs bit for bit, so nothing may derive
// them at run time (M_PI / 180 would round differently on some platforms).
#ifndef QUILLON_COMMON_UNITS_H
#define QUILLON_COMMON_UNITS_H

namespace quillon {

constexpr double kDegToRad = 0.017453292519943295;  // pi / 180
constexpr double kRadToDeg = 57.29577951308232;     // 180 / pi

}  // namespace quillon

#endif  // QUILLON_COMMON_UNITS_H
