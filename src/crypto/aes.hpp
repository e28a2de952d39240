// The one seam between the AES exports and the code that runs the rounds.
//
// Every block the exports encrypt or decrypt goes through the engine that
// aes_engine() returns, a whole run of blocks at a time.  Engines take the
// round keys from the caller's CAES_schedule as it is laid out (words of
// four key bytes, first byte most significant; the decryption schedule in
// reverse order with InvMixColumns applied to its inner round keys) and all
// give identical results.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "crypto/engine_tier.hpp"
#include "quorvel/crypto.h"

namespace quorvel::detail {

// Runs `blocks` independent 16-byte blocks from in to out.  Each block is
// read whole before its output is written, so in may equal out.  The
// schedule's rounds must be 10, 12 or 14.
using AesBlocksFn = void (*)(const CAES_schedule *schedule, const uint8_t *in, uint8_t *out,
                             size_t blocks);

// CBC over `blocks` blocks, chaining from and back into chain[16].  in may
// equal out (in place); the buffers must not overlap otherwise.
using AesCbcFn = void (*)(const CAES_schedule *schedule, uint8_t chain[16], const uint8_t *in,
                          uint8_t *out, size_t blocks);

struct AesEngine {
  const char *name;
  EngineTier tier;
  CpuCheck runs_on;
  AesBlocksFn encrypt_blocks;
  AesBlocksFn decrypt_blocks;
  AesCbcFn cbc_encrypt;  // with the encryption schedule
  AesCbcFn cbc_decrypt;  // with the decryption schedule
};

// The portable table-driven engine.  Its look-ups are indexed by key and
// data bytes, so its timing depends on them through the cache: it is not
// constant-time.
extern const AesEngine kAesPortable;

#if defined(QRVL_CRYPTO_X86)
// AES-NI on 128-bit registers, eight blocks in flight (aes_x86.cpp).
extern const AesEngine kAesNi;
#endif
#if defined(QRVL_CRYPTO_X86_WIDE)
// VAES on 512-bit registers, sixteen blocks in flight (aes_x86.cpp).
extern const AesEngine kAesVaes512;
// VAES on 256-bit registers with AVX2, sixteen blocks in flight (aes_x86.cpp).
extern const AesEngine kAesVaes256;
#endif

extern std::atomic<const AesEngine *> g_aes_engine;
const AesEngine &choose_aes_engine();

inline const AesEngine &aes_engine() {
  const AesEngine *engine = g_aes_engine.load(std::memory_order_relaxed);
  return engine != nullptr ? *engine : choose_aes_engine();
}

inline bool aes_rounds_valid(int32_t rounds) {
  return rounds == 10 || rounds == 12 || rounds == 14;
}

}  // namespace quorvel::detail
