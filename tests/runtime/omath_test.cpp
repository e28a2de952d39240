// omath values against the math library within the accuracy the formulas
// promise, and the points where the formulas give a defined oddity.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quorvel/runtime.h"

namespace {

constexpr double kTurn = 6.28318530717958;

TEST(Omath, TrigonometryFollowsTheMathLibraryClosely) {
  for (double x = -4 * kTurn; x <= 4 * kTurn; x += 0.01) {
    ASSERT_NEAR(omath_sin(x), std::sin(x), 0.002) << x;
    ASSERT_NEAR(omath_cos(x), std::cos(x), 0.002) << x;
    if (std::fabs(std::cos(x)) > 0.2) {
      ASSERT_NEAR(omath_tan(x), std::tan(x), 0.05 / std::pow(std::cos(x), 2)) << x;
    }
    ASSERT_NEAR(omath_atan(x), std::atan(x), 1e-5) << x;
    ASSERT_NEAR(omath_atan2(x, 1.5), std::atan2(x, 1.5), 1e-5) << x;
    ASSERT_NEAR(omath_atan2(-1.5, x), std::atan2(-1.5, x), 1e-5) << x;
  }
  for (double x = -1; x <= 1; x += 0.001) {
    ASSERT_NEAR(omath_asin(x), std::asin(x), 1e-4) << x;
    ASSERT_NEAR(omath_acos(x), std::acos(x), 1e-4) << x;
  }
  EXPECT_EQ(omath_sin(0), 0);
  EXPECT_NEAR(omath_sin(1.57079632679489), 1, 0.001);
  EXPECT_EQ(omath_cos(0), omath_sin(1.57079632679489));
  EXPECT_EQ(omath_sin(7), omath_sin(7 - kTurn));
  // Where the cosine is exactly 0 the tangent divides by 1e-7, not by 0.
  const double quarter_below = -1.57079632679489;
  ASSERT_EQ(omath_cos(quarter_below), 0);
  EXPECT_NEAR(omath_tan(quarter_below), omath_sin(quarter_below) * 1e7, 1);
  EXPECT_LT(omath_tan(quarter_below), -9.99e6);
  EXPECT_NEAR(omath_atan2(1, -1), 2.356, 0.001);
  EXPECT_NEAR(omath_atan(-1), -0.785, 0.001);
}

TEST(Omath, ReductionEndsForEveryArgument) {
  // Far out the turns go in one step: the value stays the sine of the
  // reduced argument.
  for (double x : {1e5, -3e7, 1e12, 123456789.5}) {
    const double reduced = std::remainder(x, kTurn);
    EXPECT_NEAR(omath_sin(x), omath_sin(reduced), 1e-3) << x;
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (double x : {inf, -inf, std::nan(""), 1e300}) {
    EXPECT_TRUE(std::isnan(omath_sin(x))) << x;
    EXPECT_TRUE(std::isnan(omath_tan(x))) << x;
  }
}

TEST(Omath, SquareRootAndPower) {
  for (double x = 0.001; x < 1e6; x *= 1.37) ASSERT_NEAR(omath_sqrt(x), std::sqrt(x), 1e-5 * std::sqrt(x)) << x;
  EXPECT_GT(omath_sqrt(0), 0);
  EXPECT_LT(omath_sqrt(0), 1e-10);
  struct { double x, y, want; } const cases[] = {
      {2, 10, 1024}, {2, -1, 0.5}, {0, 0, 0}, {5, 0, 1}, {3, 5, 243},
      {8, 0.4, std::sqrt(8.0)}, {27, 0.3, 3}, {16, 2.5, 1024}, {2, 2.7, 8}, {-2, 3, -8}};
  for (const auto &c : cases) EXPECT_NEAR(omath_pow(c.x, c.y), c.want, 1e-5 * std::fabs(c.want)) << c.x << "^" << c.y;
  EXPECT_TRUE(std::isnan(omath_pow(2, std::numeric_limits<double>::infinity())));
  EXPECT_TRUE(std::isnan(omath_pow(2, std::nan(""))));
  EXPECT_NEAR(omath_pow(1, 1e300), 1, 1e-9);       // deep halving ends
  EXPECT_NEAR(omath_pow(1, 1e-300), 1, 1e-6);      // the root degree is capped
}

TEST(Omath, DivisorsAndMultiples) {
  struct { int32_t a, b, gcd, lcm; } const cases[] = {
      {12, 18, 6, 36}, {0, 5, 0, 0}, {4, 6, 2, 12}, {-4, 6, 0, 0}, {7, 1, 1, 7}, {17, 17, 17, 17},
      {5, 0, 0, 0}, {5, -3, 0, 0}};
  for (const auto &c : cases) {
    EXPECT_EQ(omath_gcd(c.a, c.b), c.gcd) << c.a << "," << c.b;
    EXPECT_EQ(omath_lcm(c.a, c.b), c.lcm) << c.a << "," << c.b;
  }
  EXPECT_EQ(omath_lcm(65536, 65537), 65536);  // the product wraps modulo 2^32
}

}  // namespace
