// Which engine runs each primitive.
//
// Every primitive with more than one engine (AES, SHA-256, CRC-32, Base64)
// has a list of candidates, fastest first; the first one that the processor
// runs and whose tier is at most the current cap is chosen on first use and
// kept.  The cap is the widest tier, so users always get the fastest engine
// their processor has; the library reads no environment variable.  Tests
// lower the cap through set_engine_tier() to reach every engine in turn.
#pragma once

#include "platform/platform.hpp"

// x86-64 engines with 128-bit registers (AES-NI, SHA-NI, PCLMULQDQ) are
// built wherever the compiler can target them.  The 256- and 512-bit ones
// are left out of Windows builds: there the compiler cannot align the
// stack slots of spilled wide registers.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QRVL_CRYPTO_X86 1
#if !defined(_WIN32)
#define QRVL_CRYPTO_X86_WIDE 1
#endif
#endif

namespace quorvel::detail {

enum class EngineTier : int {
  kPortable = 0,  // plain C++, every processor
  kSse = 1,       // 128-bit: AES-NI, SHA-NI, PCLMULQDQ, SSSE3/SSE4.1
  kAvx2 = 2,      // 256-bit: AVX2, VAES, VPCLMULQDQ
  kAvx512 = 3,    // 512-bit: AVX-512 F/BW/VL/VBMI with VAES, VPCLMULQDQ
};

using CpuCheck = bool (*)(const platform::CpuFeatures &cpu);

inline bool runs_anywhere(const platform::CpuFeatures &) { return true; }

// The widest tier this processor can run.
EngineTier cpu_engine_tier();

// Caps every primitive's choice at `cap` and chooses again at once.  Refuses
// (changing nothing) a cap above cpu_engine_tier().  Meant for tests and
// benchmarks; switching while other threads hash or encrypt is safe (each
// call uses one engine from start to end) but mixes engines between calls.
bool set_engine_tier(EngineTier cap);

const char *engine_tier_name(EngineTier tier);

}  // namespace quorvel::detail
