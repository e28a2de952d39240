// UTM breakdown and its inverse against the C library's UTC routines, over
// the same spread of instants between 1970 and 2038.
#include <benchmark/benchmark.h>

#include <ctime>
#include <vector>

#include "quorvel.h"

namespace {

std::vector<uint32_t> instants() {
  std::vector<uint32_t> out(4096);
  uint32_t x = 2463534242u;
  for (auto &t : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    t = x & 0x7fffffffu;
  }
  return out;
}

void BM_GetUtm(benchmark::State &state) {
  auto ts = instants();
  size_t i = 0;
  Utm u;
  for (auto _ : state) {
    GetUtm(ts[i++ & 4095], &u);
    benchmark::DoNotOptimize(u);
  }
}
BENCHMARK(BM_GetUtm);

void BM_gmtime_r(benchmark::State &state) {
  auto ts = instants();
  size_t i = 0;
  struct tm g;
  for (auto _ : state) {
    time_t t = ts[i++ & 4095];
    gmtime_r(&t, &g);
    benchmark::DoNotOptimize(g);
  }
}
BENCHMARK(BM_gmtime_r);

void BM_MakeUnixTime(benchmark::State &state) {
  auto ts = instants();
  std::vector<Utm> records(ts.size());
  for (size_t k = 0; k < ts.size(); ++k) GetUtm(ts[k], &records[k]);
  size_t i = 0;
  for (auto _ : state) {
    Utm u = records[i++ & 4095];
    benchmark::DoNotOptimize(MakeUnixTime(&u));
  }
}
BENCHMARK(BM_MakeUnixTime);

void BM_timegm(benchmark::State &state) {
  auto ts = instants();
  std::vector<struct tm> records(ts.size());
  for (size_t k = 0; k < ts.size(); ++k) {
    time_t t = ts[k];
    gmtime_r(&t, &records[k]);
  }
  size_t i = 0;
  for (auto _ : state) {
    struct tm g = records[i++ & 4095];
    benchmark::DoNotOptimize(timegm(&g));
  }
}
BENCHMARK(BM_timegm);

}  // namespace

BENCHMARK_MAIN();
