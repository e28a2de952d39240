// The one seam between the AES exports and the code that runs the rounds.
//
// Every block the exports encrypt or decrypt goes through the engine that
// aes_engine() returns, a whole run of blocks at a time, so an
// accelerated engine (one that gives identical results) can be added later
// by changing what aes_engine() returns and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quorvel/crypto.h"

namespace quorvel::detail {

// Runs `blocks` independent 16-byte blocks from in to out.  Each block is
// read whole before its output is written, so in may equal out.  The
// schedule's rounds must be 10, 12 or 14.
using AesBlocksFn = void (*)(const CAES_schedule *schedule, const uint8_t *in, uint8_t *out,
                             size_t blocks);

// CBC encryption of `blocks` blocks, chaining from and back into chain[16].
// Each block is read before its output is written, so in may equal out.
using AesCbcEncryptFn = void (*)(const CAES_schedule *schedule, uint8_t chain[16],
                                 const uint8_t *in, uint8_t *out, size_t blocks);

struct AesEngine {
  const char *name;
  AesBlocksFn encrypt_blocks;
  AesBlocksFn decrypt_blocks;
  // CBC encryption is serial, so it keeps its chain inside the engine
  // rather than paying a call per block.
  AesCbcEncryptFn cbc_encrypt;
};

// The portable table-driven engine.
extern const AesEngine kAesPortable;

inline const AesEngine &aes_engine() { return kAesPortable; }

inline bool aes_rounds_valid(int32_t rounds) {
  return rounds == 10 || rounds == 12 || rounds == 14;
}

}  // namespace quorvel::detail
