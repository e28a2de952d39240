// The sram pool under random sequences of sram_malloc, sram_calloc,
// sram_realloc and sram_free, checked against a shadow of the live blocks.
// The pool is linked once per process from three regions of one array; the
// gaps between them are poisoned, so a block handed out over a gap, or a
// write into one, is caught by ASan.  Each input frees what it allocated,
// after which the pool must be whole again.
#include <fuzzer/FuzzedDataProvider.h>
#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "quorvel/memory.h"
#include "fuzz_check.hpp"

namespace {

constexpr uint32_t H = 2 * sizeof(uint32_t) + sizeof(void *);  // block header
constexpr uint32_t G = sizeof(void *);                          // size granule
constexpr uint32_t kRegion[3] = {4096, 1024, 8192};
constexpr uint32_t kGap[2] = {200, 72};

alignas(16) uint8_t g_arena[4096 + 200 + 1024 + 72 + 8192 + 16];
uintptr_t g_low, g_high;   // the pool's bytes
uint32_t g_baseline_used;  // headers and bridges of the empty pool

struct Block {
  uint32_t size;  // payload bytes the block holds
  uint8_t tag;    // every payload byte holds it
};
std::map<uintptr_t, Block> g_live;

uint32_t rounded(uint32_t n) { return (n + G - 1) & ~(G - 1); }

bool in_gap(uintptr_t p, uint32_t n) {
  uintptr_t at = reinterpret_cast<uintptr_t>(g_arena);
  for (int i = 0; i < 2; ++i) {
    at += kRegion[i];
    if (p < at + kGap[i] && p + n > at) return true;
    at += kGap[i];
  }
  return false;
}

// True when the n bytes at p all hold tag.  Compared against a run of the
// tag with memcmp rather than byte by byte: the instrumented byte loop was
// most of the time an input took.
bool holds(const void *p, uint32_t n, uint8_t tag) {
  static uint8_t run[sizeof g_arena];
  static int run_tag = -1;
  if (run_tag != tag) {
    std::memset(run, tag, sizeof run);
    run_tag = tag;
  }
  return n == 0 || std::memcmp(p, run, n) == 0;
}

void check_payload(uintptr_t p, const Block &b) {
  check(holds(reinterpret_cast<const void *>(p), b.size, b.tag));
}

// A new block: aligned, inside the pool, clear of the gaps and of every
// live block; then stamped with its tag.
void adopt(void *ptr, uint32_t size, uint8_t tag) {
  const auto p = reinterpret_cast<uintptr_t>(ptr);
  check(p % G == 0 && p >= g_low + H && p + size <= g_high && !in_gap(p, size));
  auto next = g_live.lower_bound(p);
  check(next == g_live.end() || p + size + H <= next->first);
  if (next != g_live.begin()) {
    auto before = std::prev(next);
    check(before->first + before->second.size + H <= p);
  }
  std::memset(ptr, tag, size);
  g_live[p] = Block{size, tag};
}

// Used bytes are every header, free blocks' too, plus every used payload.
// Free blocks never touch (they merge), so besides the one per region that
// the empty pool has there is at most one per live block; and a block
// filling the last region's end has no free header behind it.  Once the
// last block is gone the pool is back to its empty figures.
void check_usage() {
  uint32_t free_bytes = 0, used = 0, third = 1;
  sram_usage(&free_bytes, &used, &third);
  uint64_t live = g_baseline_used;
  for (const auto &[p, b] : g_live) live += H + b.size;
  check(third == 0 && free_bytes + used == g_high - g_low);
  check(used + H >= live && used <= live + H * g_live.size());
  if (g_live.empty()) check(used == g_baseline_used);
}

void step(FuzzedDataProvider &in) {
  const uint32_t request = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 256)
                                            : in.ConsumeIntegralInRange<uint32_t>(0, 9000);
  const uint8_t tag = in.ConsumeIntegral<uint8_t>();
  auto victim = g_live.empty() ? g_live.end()
                               : std::next(g_live.begin(), in.ConsumeIntegralInRange<size_t>(
                                                               0, g_live.size() - 1));
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
    {
      void *p = sram_malloc(request);
      check(request != 0 || p == nullptr);
      if (p != nullptr) adopt(p, rounded(request), tag);
      break;
    }
    case 1: {
      const uint32_t count = in.ConsumeIntegralInRange<uint32_t>(0, 4);
      const uint64_t total = count ? uint64_t{count} * request : request;
      if (void *p = sram_calloc(count, request)) {
        check(count == 0 || holds(p, rounded(static_cast<uint32_t>(total)), 0));
        adopt(p, rounded(static_cast<uint32_t>(total)), tag);
      }
      break;
    }
    case 2: {
      if (victim == g_live.end()) break;
      const uintptr_t old = victim->first;
      const Block b = victim->second;
      check_payload(old, b);
      void *p = sram_realloc(reinterpret_cast<void *>(old), request);
      if (request == 0) {
        check(p == nullptr);
        g_live.erase(victim);
      } else if (request <= b.size) {
        check(p == reinterpret_cast<void *>(old));
      } else if (p != nullptr) {
        g_live.erase(victim);
        check(holds(p, b.size, b.tag));
        adopt(p, rounded(request), tag);
      }
      break;
    }
    default:
      if (victim == g_live.end()) break;
      check_payload(victim->first, victim->second);
      sram_free(reinterpret_cast<void *>(victim->first));
      g_live.erase(victim);
  }
  check_usage();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  void *addrs[3];
  uint32_t sizes[3];
  uintptr_t at = reinterpret_cast<uintptr_t>(g_arena);
  for (int i = 0; i < 3; ++i) {
    addrs[i] = reinterpret_cast<void *>(at);
    sizes[i] = kRegion[i];
    at += kRegion[i];
    if (i < 2) {
      ASAN_POISON_MEMORY_REGION(reinterpret_cast<void *>(at), kGap[i]);
      at += kGap[i];
    }
  }
  check(sram_partial_poollink(addrs, sizes, 3) == 0);
  g_low = reinterpret_cast<uintptr_t>(addrs[0]);
  g_high = reinterpret_cast<uintptr_t>(addrs[2]) + sizes[2];
  uint32_t free_bytes = 0;
  sram_usage(&free_bytes, &g_baseline_used, nullptr);
  check(g_baseline_used == 5 * H + kGap[0] + kGap[1]);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0 && g_live.size() < 64) step(in);
  for (const auto &[p, b] : g_live) {
    check_payload(p, b);
    sram_free(reinterpret_cast<void *>(p));
  }
  g_live.clear();
  check_usage();
  // Emptied, every region is one free block again: the largest one takes
  // its whole payload, less the header a block filling its end may drop.
  void *whole = sram_malloc(kRegion[2] - 3 * H);
  check(whole != nullptr);
  sram_free(whole);
  return 0;
}
