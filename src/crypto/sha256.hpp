// The one seam between the SHA-224/SHA-256 exports and the compression
// function.  Every block goes through sha256_engine(); all engines give
// identical results.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "crypto/engine_tier.hpp"

namespace quorvel::detail {

// Runs `blocks` consecutive 64-byte blocks at data (any alignment) through
// the SHA-256 compression, adding into state[0..7].
using Sha256CompressFn = void (*)(uint32_t state[8], const uint8_t *data, size_t blocks);

struct Sha256Engine {
  const char *name;
  EngineTier tier;
  CpuCheck runs_on;
  Sha256CompressFn compress;
};

extern const Sha256Engine kSha256Portable;
#if defined(QRVL_CRYPTO_X86)
extern const Sha256Engine kSha256Ni;  // SHA-NI with SSSE3/SSE4.1
#endif

extern std::atomic<const Sha256Engine *> g_sha256_engine;
const Sha256Engine &choose_sha256_engine();

inline const Sha256Engine &sha256_engine() {
  const Sha256Engine *engine = g_sha256_engine.load(std::memory_order_relaxed);
  return engine != nullptr ? *engine : choose_sha256_engine();
}

}  // namespace quorvel::detail
