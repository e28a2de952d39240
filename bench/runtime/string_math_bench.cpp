// The patch_ routines against glibc's string functions, and omath against
// libm, on the same inputs in the same run.  glibc's routines are vector
// code; patch_ trades that speed for one answer on every platform.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "quorvel.h"

namespace {

std::string text_of(int64_t n) { return std::string(static_cast<size_t>(n), 'x'); }

template <int32_t (*Length)(const char *)>
void BM_strlen(benchmark::State &state) {
  const std::string s = text_of(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Length(s.c_str()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
int32_t glibc_strlen(const char *s) { return static_cast<int32_t>(std::strlen(s)); }
BENCHMARK(BM_strlen<patch_strlen>)->Name("patch_strlen")->Arg(16)->Arg(1024);
BENCHMARK(BM_strlen<glibc_strlen>)->Name("glibc_strlen")->Arg(16)->Arg(1024);

template <int32_t (*Compare)(const char *, const char *)>
void BM_strcmp(benchmark::State &state) {
  const std::string a = text_of(state.range(0));
  std::string b = a;
  b.back() = 'y';
  for (auto _ : state) benchmark::DoNotOptimize(Compare(a.c_str(), b.c_str()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
int32_t glibc_strcmp(const char *a, const char *b) { return std::strcmp(a, b); }
BENCHMARK(BM_strcmp<patch_strcmp>)->Name("patch_strcmp")->Arg(16)->Arg(1024);
BENCHMARK(BM_strcmp<glibc_strcmp>)->Name("glibc_strcmp")->Arg(16)->Arg(1024);

template <void *(*Copy)(void *, const void *, size_t)>
void BM_memcpy(benchmark::State &state) {
  const auto n = static_cast<size_t>(state.range(0));
  std::vector<char> src(n, 'x'), dst(n);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Copy(dst.data(), src.data(), n));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
void *glibc_memcpy(void *d, const void *s, size_t n) { return std::memcpy(d, s, n); }
BENCHMARK(BM_memcpy<patch_memcpy>)->Name("patch_memcpy")->Arg(16)->Arg(4096);
BENCHMARK(BM_memcpy<glibc_memcpy>)->Name("glibc_memcpy")->Arg(16)->Arg(4096);

// Each iteration takes the next of 1024 arguments spread over a few turns.
template <double (*Function)(double)>
void BM_unary(benchmark::State &state) {
  std::vector<double> xs(1024);
  for (size_t i = 0; i < xs.size(); ++i) xs[i] = -10.0 + 20.0 * static_cast<double>(i) / 1024.0;
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Function(xs[i++ & 1023]));
}
double libm_sin(double x) { return std::sin(x); }
double libm_atan(double x) { return std::atan(x); }
double libm_sqrt(double x) { return std::sqrt(std::fabs(x)); }
double quorvel_sqrt(double x) { return omath_sqrt(std::fabs(x)); }
BENCHMARK(BM_unary<omath_sin>)->Name("omath_sin");
BENCHMARK(BM_unary<libm_sin>)->Name("libm_sin");
BENCHMARK(BM_unary<omath_atan>)->Name("omath_atan");
BENCHMARK(BM_unary<libm_atan>)->Name("libm_atan");
BENCHMARK(BM_unary<quorvel_sqrt>)->Name("omath_sqrt");
BENCHMARK(BM_unary<libm_sqrt>)->Name("libm_sqrt");

template <double (*Power)(double, double)>
void BM_pow(benchmark::State &state) {
  const double y = static_cast<double>(state.range(0)) / 10.0;
  double x = 1.0001;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Power(x, y));
    x += 1e-9;
  }
}
double libm_pow(double x, double y) { return std::pow(x, y); }
BENCHMARK(BM_pow<omath_pow>)->Name("omath_pow")->Arg(100)->Arg(5);
BENCHMARK(BM_pow<libm_pow>)->Name("libm_pow")->Arg(100)->Arg(5);

}  // namespace
