// Processor features from CPUID, checked against the register state the
// operating system has enabled (XGETBV), so that an engine is chosen only
// when its instructions both exist and keep their registers across
// context switches.  The same code serves every x86-64 operating system.
#include <atomic>

#include "platform/platform.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#define QRVL_CPUID_X86 1
#endif

namespace quorvel::platform {
namespace {

#if defined(QRVL_CPUID_X86)

// XCR0 bits: SSE and AVX state, then the AVX-512 opmask and upper ZMM state.
constexpr uint64_t kXcr0Ymm = 0x6;
constexpr uint64_t kXcr0Zmm = 0xE6;

uint64_t read_xcr0() {
  uint32_t lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (uint64_t{hi} << 32) | lo;
}

bool bit(uint32_t word, int n) { return ((word >> n) & 1u) != 0; }

CpuFeatures read_cpu_features() {
  CpuFeatures f{};
  uint32_t a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return f;
  f.ssse3 = bit(c, 9);
  f.sse41 = bit(c, 19);
  f.pclmulqdq = bit(c, 1);
  f.aesni = bit(c, 25);
  const bool osxsave = bit(c, 27), avx = bit(c, 28);
  const uint64_t xcr0 = osxsave ? read_xcr0() : 0;
  const bool ymm_saved = avx && (xcr0 & kXcr0Ymm) == kXcr0Ymm;
  const bool zmm_saved = ymm_saved && (xcr0 & kXcr0Zmm) == kXcr0Zmm;
  if (__get_cpuid_max(0, nullptr) < 7) return f;
  __cpuid_count(7, 0, a, b, c, d);
  f.sha = bit(b, 29);
  f.avx2 = ymm_saved && bit(b, 5);
  f.vaes = ymm_saved && bit(c, 9);
  f.vpclmulqdq = ymm_saved && bit(c, 10);
  f.avx512f = zmm_saved && bit(b, 16);
  f.avx512bw = zmm_saved && bit(b, 30);
  f.avx512vl = zmm_saved && bit(b, 31);
  f.avx512vbmi = zmm_saved && bit(c, 1);
  return f;
}

#else

CpuFeatures read_cpu_features() { return CpuFeatures{}; }

#endif

// Filled once, by the first caller; a caller that arrives while it is being
// filled waits the few microseconds CPUID takes.  (No guarded static: the
// library needs nothing from the C++ runtime.)
CpuFeatures g_features;
std::atomic<int> g_filling{0};
std::atomic<bool> g_filled{false};

}  // namespace

const CpuFeatures &cpu_features() {
  if (!g_filled.load(std::memory_order_acquire)) {
    if (g_filling.exchange(1, std::memory_order_acq_rel) == 0) {
      g_features = read_cpu_features();
      g_filled.store(true, std::memory_order_release);
    }
    while (!g_filled.load(std::memory_order_acquire)) {
    }
  }
  return g_features;
}

}  // namespace quorvel::platform
