// sram against glibc malloc/free, and the Slp ring against a bare memcpy
// ring.  The sram pool links once per process: every benchmark returns all
// its blocks before it ends.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "quorvel/memory.h"

namespace {

alignas(64) uint8_t g_pool_region[8u << 20];

void ensure_pool() {
  if (!sram_is_init()) sram_poollink(g_pool_region, sizeof g_pool_region);
}

// 8 to 256 bytes, the same sequence for both allocators.
const std::vector<uint32_t> &request_sizes() {
  static const std::vector<uint32_t> sizes = [] {
    std::mt19937 rng(99);
    std::vector<uint32_t> v(1024);
    for (auto &s : v) s = 8 + rng() % 249;
    return v;
  }();
  return sizes;
}

struct Sram {
  static void *alloc(uint32_t n) { return sram_malloc(n); }
  static void release(void *p) { sram_free(p); }
};

struct Glibc {
  static void *alloc(uint32_t n) { return std::malloc(n); }
  static void release(void *p) { std::free(p); }
};

// Sixteen allocations, then sixteen releases in reverse order.
template <class A>
void BM_Pairs16Lifo(benchmark::State &state) {
  ensure_pool();
  const auto &sizes = request_sizes();
  void *live[16];
  size_t k = 0;
  for (auto _ : state) {
    for (auto &p : live) {
      p = A::alloc(sizes[k++ & 1023]);
      benchmark::DoNotOptimize(p);
    }
    for (int i = 15; i >= 0; --i) A::release(live[i]);
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_Pairs16Lifo<Sram>)->Name("pairs_8_256_lifo16/sram");
BENCHMARK(BM_Pairs16Lifo<Glibc>)->Name("pairs_8_256_lifo16/glibc");

// One allocation and release with state.range(0) blocks already live in
// front of the free space: sram's first fit walks all of them.
template <class A>
void BM_AllocWithLive(benchmark::State &state) {
  ensure_pool();
  const auto &sizes = request_sizes();
  std::vector<void *> live(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < live.size(); ++i) live[i] = A::alloc(sizes[i & 1023]);
  size_t k = 0;
  for (auto _ : state) {
    void *p = A::alloc(sizes[k++ & 1023]);
    benchmark::DoNotOptimize(p);
    A::release(p);
  }
  for (void *p : live) A::release(p);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AllocWithLive<Sram>)->Name("alloc_with_live/sram")->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK(BM_AllocWithLive<Glibc>)->Name("alloc_with_live/glibc")->Arg(16)->Arg(256)->Arg(4096);

constexpr uint32_t kRing = 64u << 10;

const char *line80() {
  static char line[81] = {};
  if (line[0] == '\0') {
    for (int i = 0; i < 79; ++i) line[i] = static_cast<char>('a' + i % 26);
    line[79] = '\n';
  }
  return line;
}

void BM_SlpPutstr(benchmark::State &state) {
  static char ring[kRing + 1];
  Slp slp;
  slp_melink(&slp, ring, sizeof ring);
  const char *line = line80();
  for (auto _ : state) {
    slp_putstr(&slp, line);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 80);
}
BENCHMARK(BM_SlpPutstr)->Name("putstr_80/slp");

// The floor: the same bytes copied into a ring with no line keeping.
void BM_MemcpyRing(benchmark::State &state) {
  static char ring[kRing];
  uint32_t at = 0;
  const char *line = line80();
  for (auto _ : state) {
    const uint32_t first = kRing - at < 80 ? kRing - at : 80;
    std::memcpy(ring + at, line, first);
    std::memcpy(ring, line + first, 80 - first);
    at = (at + 80) % kRing;
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 80);
}
BENCHMARK(BM_MemcpyRing)->Name("putstr_80/memcpy_ring");

}  // namespace
