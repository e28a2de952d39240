// Inner loops of the checksum, hash and Base64 code, each behind one
// dispatch point.  The exported functions call only the dispatch points;
// CRC-32 and Base64 choose among engines with identical results (see
// engine_tier.hpp), MD5 and the byte sum have one.  The portable kernels
// stay reachable by name so that tests can hold the others against them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "crypto/engine_tier.hpp"

namespace quorvel::detail {

// Compresses nblocks consecutive 64-byte blocks into state (A, B, C, D).
using Md5BlocksFn = void (*)(uint32_t *state, const uint8_t *blocks, size_t nblocks);
// Steps a running CRC (or byte sum) over n bytes, without initial value or
// final xor.
using Crc32Fn = uint32_t (*)(uint32_t crc, const uint8_t *data, size_t n);
// Encodes ngroups whole 3-byte groups as 4 * ngroups Base64 characters.
using Base64EncodeFn = void (*)(const uint8_t *in, size_t ngroups, char *out);
// Decodes leading 4-character groups up to (not including) the first group
// that holds a '=', writing 3 bytes per group; returns the number of
// groups decoded.  May store one byte past the decoded bytes, so out needs
// room for 3 * ngroups + 1 bytes.
using Base64DecodeFn = size_t (*)(const char *in, size_t ngroups, uint8_t *out);

void md5_blocks_portable(uint32_t *state, const uint8_t *blocks, size_t nblocks);
uint32_t crc32_msb_portable(uint32_t crc, const uint8_t *data, size_t n);
uint32_t crc32_reflected_portable(uint32_t crc, const uint8_t *data, size_t n);
uint32_t byte_sum_portable(uint32_t sum, const uint8_t *data, size_t n);
void base64_encode_portable(const uint8_t *in, size_t ngroups, char *out);
size_t base64_decode_portable(const char *in, size_t ngroups, uint8_t *out);

// CRC-32 in both bit orders, with one engine chosen for the pair.
struct Crc32Engine {
  const char *name;
  EngineTier tier;
  CpuCheck runs_on;
  Crc32Fn msb;
  Crc32Fn reflected;
};

// Base64 whole-group encoding and decoding.
struct Base64Engine {
  const char *name;
  EngineTier tier;
  CpuCheck runs_on;
  Base64EncodeFn encode;
  Base64DecodeFn decode;
};

extern const Crc32Engine kCrc32Portable;
#if defined(QRVL_CRYPTO_X86)
extern const Crc32Engine kCrc32Clmul;  // PCLMULQDQ with SSSE3/SSE4.1
#endif
#if defined(QRVL_CRYPTO_X86_WIDE)
extern const Crc32Engine kCrc32Vpclmul512;  // VPCLMULQDQ with AVX-512 F/BW/VL
#endif
extern const Base64Engine kBase64Portable;
#if defined(QRVL_CRYPTO_X86_WIDE)
extern const Base64Engine kBase64Avx2;
extern const Base64Engine kBase64Avx512Vbmi;
#endif

extern std::atomic<const Crc32Engine *> g_crc32_engine;
extern std::atomic<const Base64Engine *> g_base64_engine;
const Crc32Engine &choose_crc32_engine();
const Base64Engine &choose_base64_engine();

inline const Crc32Engine &crc32_engine() {
  const Crc32Engine *engine = g_crc32_engine.load(std::memory_order_relaxed);
  return engine != nullptr ? *engine : choose_crc32_engine();
}

inline const Base64Engine &base64_engine() {
  const Base64Engine *engine = g_base64_engine.load(std::memory_order_relaxed);
  return engine != nullptr ? *engine : choose_base64_engine();
}

// The dispatch points of the kernels with one engine.
inline constexpr Md5BlocksFn md5_blocks = &md5_blocks_portable;
inline constexpr Crc32Fn byte_sum = &byte_sum_portable;

}  // namespace quorvel::detail
