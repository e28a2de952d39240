// Inner loops of the checksum, hash and Base64 code, each behind one
// dispatch point.  The exported functions call only the dispatch points, so
// a faster kernel (SIMD, carry-less multiply) with identical results can be
// slotted in here later without touching them.  The portable kernels stay
// reachable by name so that tests can hold any replacement against them.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The dispatch points.
inline constexpr Md5BlocksFn md5_blocks = &md5_blocks_portable;
inline constexpr Crc32Fn crc32_msb = &crc32_msb_portable;
inline constexpr Crc32Fn crc32_reflected = &crc32_reflected_portable;
inline constexpr Crc32Fn byte_sum = &byte_sum_portable;
inline constexpr Base64EncodeFn base64_encode_groups = &base64_encode_portable;
inline constexpr Base64DecodeFn base64_decode_groups = &base64_decode_portable;

}  // namespace quorvel::detail
