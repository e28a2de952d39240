// One finished trace line against the floor of building the same header
// and line with two snprintf calls (no clock, no thread id, no delivery).
#include <benchmark/benchmark.h>

#include <cstdio>

#include "quorvel.h"

namespace {

void discard(const char *line, int32_t length) {
  benchmark::DoNotOptimize(line);
  benchmark::DoNotOptimize(length);
}

const char *g_name = "example.org";

void BM_infolog_t_discarded(benchmark::State &state) {
  SetDebugOutput(discard);
  for (auto _ : state) infolog_t("quorvel", "query \"%s\" done (%d) !!", g_name, 0);
}
BENCHMARK(BM_infolog_t_discarded);

void BM_two_snprintf_floor(benchmark::State &state) {
  int mon = 3, mday = 14, hour = 13, min = 5, sec = 9, ms = 123;
  unsigned tid = 4242;
  const char *tag = "quorvel";
  for (auto _ : state) {
    benchmark::DoNotOptimize(mon);
    benchmark::DoNotOptimize(tid);
    char header[196];
    char line[1032];
    snprintf(header, sizeof header, "[I][%02d-%02d %02d:%02d:%02d.%03d][%u] {%s} ", mon, mday,
             hour, min, sec, ms, tid, tag);
    snprintf(line, 1025, "%squery \"%s\" done (%d) !!\r\n", header, g_name, 0);
    discard(line, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_two_snprintf_floor);

// The same call when the mask drops it at the source: the cost of a
// disabled trace line.
void BM_infolog_t_filtered_at_source(benchmark::State &state) {
  SetDebugOutput(discard);
  SetDebugFilterAtConsole(0);
  SetDebugMsgMask(0);
  for (auto _ : state) infolog_t("quorvel", "query \"%s\" done (%d) !!", g_name, 0);
  SetDebugMsgMask(0x1f);
  SetDebugFilterAtConsole(1);
}
BENCHMARK(BM_infolog_t_filtered_at_source);

}  // namespace

BENCHMARK_MAIN();
