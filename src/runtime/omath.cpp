// Fast, low-accuracy math from arithmetic and bit operations alone, so
// that every platform computes the same values without a math library.
// The constants are the routines' own (some shorter than a double holds):
// results depend on them digit for digit.
#include <cstdint>
#include <cstring>

#include "quorvel/runtime.h"

namespace {

constexpr double kTurn = 6.28318530717958;
constexpr double kHalfTurn = 3.14159265358979;
constexpr double kQuarterTurn = 1.57079632679489;
constexpr double kAsinQuarterTurn = 1.570796326794895;
constexpr double kAtanQuarterTurn = 1.570796327;
constexpr double kAtanHalfTurn = 3.141592654;

// Up to this many turns the reduction subtracts one turn per pass, as the
// formula is written; further out it removes the whole turns in one step.
constexpr double kStepwiseTurns = 1024.0;
// Beyond 2^62 turns neighbouring doubles lie more than a turn apart.
constexpr double kPhaselessTurns = 4611686018427387904.0;

constexpr double kNaN = __builtin_nan("");

bool is_finite(double x) { return x - x == 0.0; }
double magnitude(double x) { return x < 0 ? -x : x; }

// Brings x into -pi..pi; NaN when x has no phase left to find.
double reduce_to_half_turn(double x) {
  if (!is_finite(x) || magnitude(x) >= kPhaselessTurns * kTurn) return kNaN;
  if (magnitude(x) >= kStepwiseTurns * kTurn) x -= static_cast<double>(static_cast<int64_t>(x / kTurn)) * kTurn;
  while (x >= kTurn) x -= kTurn;
  while (x <= -kTurn) x += kTurn;
  if (x < -kHalfTurn)
    x += kTurn;
  else if (x > kHalfTurn)
    x -= kTurn;
  return x;
}

// The corrected parabola on x already in -pi..pi.
double parabola_sine(double x) {
  const double y = x >= 0 ? 1.27323954 * x - 0.405284735 * x * x : 1.27323954 * x + 0.405284735 * x * x;
  return 0.225 * (y * magnitude(y) - y) + y;
}

double sine(double x) { return parabola_sine(reduce_to_half_turn(x)); }

float bit_sqrt(double x) {
  const float f = static_cast<float>(x);
  int32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  // Halving the pattern halves the exponent; the constant maps 1.0 to 1.0.
  // Unsigned addition: a negative pattern wraps instead of overflowing.
  bits = static_cast<int32_t>(static_cast<uint32_t>(bits >> 1) + 0x1fc00000u);
  float g;
  std::memcpy(&g, &bits, sizeof g);
  const float h = static_cast<float>(x / g + g);
  return static_cast<float>(x / h + h * 0.25);
}

double arc_polynomial(double a) { return ((-0.0187293 * a + 0.074261) * a - 0.2121144) * a + 1.5707288; }

double atan_polynomial(double t) {
  const double s = t * t;
  return (((((0.057477314 - 0.01348047 * s) * s - 0.121239071) * s + 0.195635925) * s - 0.332994597) * s +
          0.99999563) *
         t;
}

bool integer_part_is_odd(double y) {
  // Doubles from 2^53 up are even integers.
  if (y >= 9007199254740992.0) return false;
  return (static_cast<int64_t>(y) & 1) != 0;
}

int32_t root_degree(double y) {
  const double n = 1 / y;
  return n >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(n);
}

}  // namespace

extern "C" QRVL_API float omath_sqrt(double x) { return bit_sqrt(x); }

extern "C" QRVL_API double omath_pow(double x, double y) {
  if (x == 0) return 0;
  if (y == 0) return 1;
  if (!is_finite(y)) return kNaN;
  if (y < 0) return 1 / omath_pow(x, -y);
  if (y < 1) {
    const int32_t n = root_degree(y);
    float r = 1;
    for (int step = 0; step < 9; ++step) r = static_cast<float>((x / omath_pow(r, n - 1) + r * (n - 1.0)) * (1.0 / n));
    return r;
  }
  if (integer_part_is_odd(y)) return omath_pow(x, y - 1) * x;
  const double h = omath_pow(x, y * 0.5);
  return h * h;
}

extern "C" QRVL_API double omath_sin(double x) { return sine(x); }

extern "C" QRVL_API double omath_cos(double x) { return sine(x + kQuarterTurn); }

extern "C" QRVL_API double omath_tan(double x) {
  const double s = sine(x);
  double c = sine(x + kQuarterTurn);
  if (c == 0) c = 1e-7;
  return s / c;
}

extern "C" QRVL_API double omath_asin(double x) {
  const double a = magnitude(x);
  const double v = kAsinQuarterTurn - bit_sqrt(1 - a) * arc_polynomial(a);
  return x >= 0 ? v : -v;
}

extern "C" QRVL_API double omath_acos(double x) {
  const double a = magnitude(x);
  const double v = bit_sqrt(1 - a) * arc_polynomial(a);
  return x >= 0 ? v : kHalfTurn - v;
}

extern "C" QRVL_API double omath_atan2(double y, double x) {
  const double ax = magnitude(x), ay = magnitude(y);
  const double lo = ax < ay ? ax : ay, hi = ax < ay ? ay : ax;
  double r = atan_polynomial(1 / hi * lo);
  if (ay > ax) r = kAtanQuarterTurn - r;
  if (x < 0) r = kAtanHalfTurn - r;
  return y < 0 ? -r : r;
}

extern "C" QRVL_API double omath_atan(double x) {
  const double a = magnitude(x);
  double r = atan_polynomial(a <= 1 ? a : 1 / a);
  if (a > 1) r = kAtanQuarterTurn - r;
  return x < 0 ? -r : r;
}

extern "C" QRVL_API int32_t omath_gcd(int32_t a, int32_t b) {
  if (a < 1 || b < 1) return 0;
  while (b != 0) {
    const int32_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

extern "C" QRVL_API int32_t omath_lcm(int32_t a, int32_t b) {
  if (a < 1 || b < 1) return 0;
  const auto product = static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
  return product / omath_gcd(a, b);
}
