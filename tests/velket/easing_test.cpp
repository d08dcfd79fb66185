// Tests of the easing curves: exact values at the ends and at fixed points,
// the Newton solve against a bisection reference, and the spring's three
// damping regimes meeting at a ratio of 1.

#include <velket.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double cubic(double s, double c1, double c2) {
  const double u = 1.0 - s;
  return 3.0 * u * u * s * c1 + 3.0 * u * s * s * c2 + s * s * s;
}

// y at x by bisection on the monotone x(s) of an ordinary timing curve.
double bezier_by_bisection(double x, double x1, double y1, double x2, double y2) {
  double lo = 0.0;
  double hi = 1.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (cubic(mid, x1, x2) < x ? lo : hi) = mid;
  }
  return cubic(0.5 * (lo + hi), y1, y2);
}

}  // namespace

// ============================================================================
// velket_cubic_bezier_evaluate
// ============================================================================

TEST(velket_cubic_bezier_evaluate, EndsAreExactWhateverTheControlPoints) {
  for (double x : {0.0, -0.0, -1e-300, -5.0, -std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(velket_cubic_bezier_evaluate(x, 0.9, -3.0, 0.1, 4.0), 0.0) << x;
    EXPECT_EQ(velket_cubic_bezier_evaluate(x, kNaN, kNaN, kNaN, kNaN), 0.0) << x;
  }
  for (double x : {1.0, 1.0000001, 7.0, std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(velket_cubic_bezier_evaluate(x, 0.9, -3.0, 0.1, 4.0), 1.0) << x;
    EXPECT_EQ(velket_cubic_bezier_evaluate(x, kNaN, kNaN, kNaN, kNaN), 1.0) << x;
  }
  EXPECT_TRUE(std::isnan(velket_cubic_bezier_evaluate(kNaN, 0.25, 0.1, 0.25, 1.0)));
}

TEST(velket_cubic_bezier_evaluate, LinearXStopsAtTheFirstGuess) {
  // With x1 = 1/3 and x2 = 2/3, x(s) = s, so the result is y(x) itself.
  const double x1 = 1.0 / 3.0;
  const double x2 = 2.0 / 3.0;
  for (double x : {0.1, 0.37, 0.5, 0.93}) {
    EXPECT_DOUBLE_EQ(velket_cubic_bezier_evaluate(x, x1, 0.8, x2, -0.4), cubic(x, 0.8, -0.4));
  }
  EXPECT_EQ(velket_cubic_bezier_evaluate(0.5, 0.42, 0.0, 0.58, 1.0), 0.5);
}

TEST(velket_cubic_bezier_evaluate, NewtonMatchesBisectionOnCommonCurves) {
  const double curves[][4] = {
      {0.25, 0.1, 0.25, 1.0},   // ease
      {0.42, 0.0, 1.0, 1.0},    // ease-in
      {0.0, 0.0, 0.58, 1.0},    // ease-out
      {0.68, -0.55, 0.265, 1.55},  // back: y leaves [0, 1]
  };
  for (const auto& c : curves) {
    for (double x = 0.05; x < 1.0; x += 0.05) {
      const double want = bezier_by_bisection(x, c[0], c[1], c[2], c[3]);
      EXPECT_NEAR(velket_cubic_bezier_evaluate(x, c[0], c[1], c[2], c[3]), want, 1e-5)
          << "curve " << c[0] << "," << c[1] << "," << c[2] << "," << c[3] << " at " << x;
    }
  }
}

TEST(velket_cubic_bezier_evaluate, FlatStartStopsOnTheSlopeTest) {
  // x1 = 0 and a first guess of 0+ have a vanishing slope near s = 0, and
  // control points outside [0, 1] are accepted: the result stays finite.
  EXPECT_TRUE(std::isfinite(velket_cubic_bezier_evaluate(1e-9, 0.0, 0.3, 1.0, 0.7)));
  EXPECT_TRUE(std::isfinite(velket_cubic_bezier_evaluate(0.5, -2.0, 0.0, 3.0, 1.0)));
}

// ============================================================================
// velket_spring_evaluate
// ============================================================================

TEST(velket_spring_evaluate, StartsAtExactlyZero) {
  for (double t : {0.0, -0.0, -1.0, -std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(velket_spring_evaluate(t, 100.0, 5.0, 1.0, 0.0), 0.0) << t;
  }
  EXPECT_TRUE(std::isnan(velket_spring_evaluate(kNaN, 100.0, 5.0, 1.0, 0.0)));
}

TEST(velket_spring_evaluate, MassAtOrBelowZeroCountsAsOne) {
  for (double t : {0.05, 0.3, 1.0, 2.5}) {
    for (double damping : {5.0, 20.0, 60.0}) {
      const double one = velket_spring_evaluate(t, 100.0, damping, 1.0, 1.5);
      EXPECT_EQ(velket_spring_evaluate(t, 100.0, damping, 0.0, 1.5), one);
      EXPECT_EQ(velket_spring_evaluate(t, 100.0, damping, -3.0, 1.5), one);
    }
  }
}

TEST(velket_spring_evaluate, CriticallyDampedValueAtOneSecond) {
  EXPECT_EQ(velket_spring_evaluate(1.0, 100.0, 20.0, 1.0, 0.0), 1.0 - 11.0 * std::exp(-10.0));
  // A ratio just above 1, inside the band, takes the same formula.
  const double zeta = 1.000005;
  const double w0 = 10.0;
  EXPECT_EQ(velket_spring_evaluate(0.5, 100.0, 20.0 * zeta, 1.0, 2.0),
            1.0 - std::exp(-w0 * 0.5) * ((2.0 + w0) * 0.5 + 1.0));
}

TEST(velket_spring_evaluate, RegimesMeetAtADampingRatioOfOne) {
  // Just below 1 is underdamped, just past the band overdamped; both must
  // agree with the critical curve, which catches a wrong formula in either.
  for (double v : {0.0, 3.0, -4.0}) {
    for (double t : {0.02, 0.1, 0.4, 1.0}) {
      const double critical = velket_spring_evaluate(t, 100.0, 20.0, 1.0, v);
      EXPECT_NEAR(velket_spring_evaluate(t, 100.0, 20.0 * (1.0 - 1e-6), 1.0, v), critical, 1e-5);
      EXPECT_NEAR(velket_spring_evaluate(t, 100.0, 20.0 * (1.0 + 2e-5), 1.0, v), critical, 1e-4);
    }
  }
}

TEST(velket_spring_evaluate, SlopeAtStartIsMinusVelocityInEveryRegime) {
  const double h = 1e-7;
  for (double damping : {0.0, 5.0, 20.0, 50.0}) {
    for (double v : {0.0, 2.0, -6.0}) {
      const double slope = velket_spring_evaluate(h, 100.0, damping, 1.0, v) / h;
      EXPECT_NEAR(slope, -v, 1e-4) << "damping " << damping << " velocity " << v;
    }
  }
  // So a positive velocity starts below 0.
  EXPECT_LT(velket_spring_evaluate(0.01, 100.0, 20.0, 1.0, 5.0), 0.0);
}

TEST(velket_spring_evaluate, UnderdampedOvershootsOverdampedDoesNot) {
  EXPECT_GT(velket_spring_evaluate(1.0, 100.0, 5.0, 1.0, 0.0), 1.0);
  for (double t = 0.1; t < 5.0; t += 0.1) {
    const double r = velket_spring_evaluate(t, 100.0, 50.0, 1.0, 0.0);
    EXPECT_GT(r, 0.0);
    EXPECT_LT(r, 1.0);
  }
  // Settles at the target.
  EXPECT_NEAR(velket_spring_evaluate(20.0, 100.0, 50.0, 1.0, 0.0), 1.0, 1e-6);
  EXPECT_NEAR(velket_spring_evaluate(20.0, 100.0, 5.0, 1.0, 0.0), 1.0, 1e-6);
}

TEST(velket_spring_evaluate, NonPositiveStiffnessIsNaN) {
  EXPECT_TRUE(std::isnan(velket_spring_evaluate(1.0, 0.0, 5.0, 1.0, 0.0)));
  EXPECT_TRUE(std::isnan(velket_spring_evaluate(1.0, -10.0, 5.0, 1.0, 0.0)));
}
