// Tests of the array forms of the easing curves: every element has the bits
// of the scalar export (ends, NaN, all three spring regimes), in place works,
// and null arrays are refused before anything is written.

#include <velket.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

std::vector<double> inputs() {
  std::vector<double> v = {0.0, -0.0, -1.0, 1.0, 2.0, kNaN, kInf, -kInf, 1e-300, 0.5};
  for (int i = 0; i <= 1000; ++i) v.push_back(-0.1 + 1.2 * i / 1000.0);
  return v;
}

}  // namespace

TEST(velket_easing_arrays, EveryElementHasTheScalarBits) {
  const std::vector<double> x = inputs();
  std::vector<double> out(x.size(), 7.0);
  const double curves[][4] = {{0.25, 0.1, 0.25, 1.0}, {0.9, -3.0, 0.1, 4.0}, {0, 0, 1, 1}};
  for (const auto& c : curves) {
    ASSERT_EQ(velket_cubic_bezier_evaluate_array(x.data(), out.data(), x.size(), c[0], c[1], c[2],
                                                 c[3]),
              VELKET_OK);
    for (size_t i = 0; i < x.size(); ++i) {
      EXPECT_EQ(bits(out[i]), bits(velket_cubic_bezier_evaluate(x[i], c[0], c[1], c[2], c[3])))
          << "x = " << x[i];
    }
  }
  // Underdamped, critically damped, overdamped, bad stiffness, mass <= 0.
  const double springs[][4] = {
      {100, 10, 1, 0}, {100, 20, 1, 3}, {100, 60, 1, -2}, {0, 1, 1, 0}, {50, 5, -1, 0}};
  std::vector<double> t = x;
  for (double& v : t) v *= 3.0;
  for (const auto& s : springs) {
    ASSERT_EQ(velket_spring_evaluate_array(t.data(), out.data(), t.size(), s[0], s[1], s[2], s[3]),
              VELKET_OK);
    for (size_t i = 0; i < t.size(); ++i) {
      EXPECT_EQ(bits(out[i]), bits(velket_spring_evaluate(t[i], s[0], s[1], s[2], s[3])))
          << "t = " << t[i];
    }
  }
}

TEST(velket_easing_arrays, InPlaceGivesTheSameResult) {
  std::vector<double> x = inputs();
  std::vector<double> want(x.size());
  ASSERT_EQ(velket_spring_evaluate_array(x.data(), want.data(), x.size(), 120, 8, 2, 1), VELKET_OK);
  ASSERT_EQ(velket_spring_evaluate_array(x.data(), x.data(), x.size(), 120, 8, 2, 1), VELKET_OK);
  for (size_t i = 0; i < x.size(); ++i) EXPECT_EQ(bits(x[i]), bits(want[i]));
  x = inputs();
  ASSERT_EQ(velket_cubic_bezier_evaluate_array(x.data(), want.data(), x.size(), .4, 0, .2, 1),
            VELKET_OK);
  ASSERT_EQ(velket_cubic_bezier_evaluate_array(x.data(), x.data(), x.size(), .4, 0, .2, 1),
            VELKET_OK);
  for (size_t i = 0; i < x.size(); ++i) EXPECT_EQ(bits(x[i]), bits(want[i]));
}

TEST(velket_easing_arrays, NullArraysAreRefusedAndNothingIsWritten) {
  const double x[2] = {0.5, 0.25};
  double out[2] = {9.0, 9.0};
  EXPECT_EQ(velket_cubic_bezier_evaluate_array(nullptr, out, 2, 0, 0, 1, 1),
            VELKET_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(velket_cubic_bezier_evaluate_array(x, nullptr, 2, 0, 0, 1, 1),
            VELKET_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(velket_spring_evaluate_array(nullptr, out, 2, 1, 1, 1, 0), VELKET_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(velket_spring_evaluate_array(x, nullptr, 2, 1, 1, 1, 0), VELKET_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(velket_cubic_bezier_evaluate_array(nullptr, nullptr, 0, 0, 0, 1, 1),
            VELKET_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(out[0], 9.0);
  EXPECT_EQ(out[1], 9.0);
  // A count of 0 writes nothing and succeeds.
  EXPECT_EQ(velket_spring_evaluate_array(x, out, 0, 1, 1, 1, 0), VELKET_OK);
  EXPECT_EQ(out[0], 9.0);
}
