// Prints, for each omath routine, the largest absolute and relative
// difference from libm over a dense sweep of its input range, and where it
// occurs.  A report for docs/benchmarks.md, not a benchmark.
#include <cmath>
#include <cstdio>

#include "quorvel/runtime.h"

namespace {

struct Sweep {
  const char *name;
  double (*ours)(double);
  double (*libm)(double);
  double from, to;
};

double sqrt_ours(double x) { return omath_sqrt(x); }
double sqrt_libm(double x) { return std::sqrt(x); }
double pow_ours(double x) { return omath_pow(x, 0.5); }
double pow10_ours(double x) { return omath_pow(x, 10); }
double pow10_libm(double x) { return std::pow(x, 10); }
double atan2_ours(double x) { return omath_atan2(x, 1.0); }
double atan2_libm(double x) { return std::atan2(x, 1.0); }

void report(const Sweep &s, int steps) {
  double worst_abs = 0, worst_rel = 0, at_abs = s.from, at_rel = s.from;
  for (int i = 0; i <= steps; ++i) {
    double x = s.from + (s.to - s.from) * i / steps;
    double a = s.ours(x), b = s.libm(x);
    double diff = std::fabs(a - b);
    double rel = b != 0 ? diff / std::fabs(b) : 0;
    if (diff > worst_abs) worst_abs = diff, at_abs = x;
    if (rel > worst_rel) worst_rel = rel, at_rel = x;
  }
  std::printf("| `%s` | [%g, %g] | %.3g at %.6g | %.3g at %.6g |\n", s.name, s.from, s.to, worst_abs,
              at_abs, worst_rel, at_rel);
}

}  // namespace

int main() {
  const Sweep sweeps[] = {
      {"omath_sin", omath_sin, [](double x) { return std::sin(x); }, -100, 100},
      {"omath_cos", omath_cos, [](double x) { return std::cos(x); }, -100, 100},
      {"omath_tan", omath_tan, [](double x) { return std::tan(x); }, -1.5, 1.5},
      {"omath_asin", omath_asin, [](double x) { return std::asin(x); }, -1, 1},
      {"omath_acos", omath_acos, [](double x) { return std::acos(x); }, -1, 1},
      {"omath_atan", omath_atan, [](double x) { return std::atan(x); }, -100, 100},
      {"omath_atan2(y, 1)", atan2_ours, atan2_libm, -100, 100},
      {"omath_sqrt", sqrt_ours, sqrt_libm, 0, 1e6},
      {"omath_pow(x, 0.5)", pow_ours, sqrt_libm, 0, 1e6},
      {"omath_pow(x, 10)", pow10_ours, pow10_libm, -10, 10},
  };
  std::printf("| routine | inputs (10^6 + 1 points) | largest absolute difference | largest relative difference |\n");
  std::printf("|---|---|---|---|\n");
  for (const Sweep &s : sweeps) report(s, 1000000);
  return 0;
}
