// The usable-address count against the one call a program would make
// itself: getifaddrs() and freeifaddrs().  GetLIPNum(AF_INET) adds the
// routing-table dump that tells which interfaces have a default gateway.
#include <benchmark/benchmark.h>
#include <ifaddrs.h>
#include <sys/socket.h>

#include "quorvel.h"

namespace {

void BM_GetLIPNum_IPv4(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(GetLIPNum(AF_INET));
}
BENCHMARK(BM_GetLIPNum_IPv4);

void BM_getifaddrs_freeifaddrs(benchmark::State &state) {
  for (auto _ : state) {
    ifaddrs *list = nullptr;
    benchmark::DoNotOptimize(getifaddrs(&list));
    freeifaddrs(list);
  }
}
BENCHMARK(BM_getifaddrs_freeifaddrs);

}  // namespace

BENCHMARK_MAIN();
