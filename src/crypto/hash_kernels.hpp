// Inner loops of the checksum, hash and Base64 code, each behind one
// dispatch point.  The exported functions call only the dispatch points, so
// a faster kernel (SIMD, carry-less multiply) with identical results can be
// slotted in here later without touching them.  The portable kernels stay
// reachable by name so that tests can hold any replacement against them.
#ifndef QUORVEL_SRC_CRYPTO_HASH_KERNELS_HPP
#define QUORVEL_SRC_CRYPTO_HASH_KERNELS_HPP

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorvel::detail {

// Unaligned loads and stores in a fixed byte order.
inline uint32_t hk_load_le32(const void *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}
inline uint64_t hk_load_le64(const void *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}
inline uint64_t hk_load_be64(const void *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}
inline void hk_store_le32(void *p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}
inline void hk_store_le64(void *p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

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

// The one-table CRC steps, the reference the sliced kernels must match.
// T_msb[i]: i * 2^24 shifted left eight times, xoring 0x04C11DB7 after each
// shift that pushes a 1 out of the top bit.
constexpr std::array<uint32_t, 256> make_crc32_msb_table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
    t[i] = r;
  }
  return t;
}
// T_ref[i]: i shifted right eight times, xoring 0xEDB88320 after each shift
// that drops a 1 out of the low bit.
constexpr std::array<uint32_t, 256> make_crc32_reflected_table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i;
    for (int k = 0; k < 8; ++k) r = (r & 1u) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    t[i] = r;
  }
  return t;
}
inline constexpr std::array<uint32_t, 256> kCrc32MsbTable = make_crc32_msb_table();
inline constexpr std::array<uint32_t, 256> kCrc32ReflectedTable = make_crc32_reflected_table();
static_assert(kCrc32MsbTable[1] == 0x04c11db7u);
static_assert(kCrc32ReflectedTable[1] == 0x77073096u && kCrc32ReflectedTable[128] == 0xedb88320u);

// Base64 decoding table: alphabet characters give 0-63, '=' gives
// kBase64Pad, every other byte 0 (the decoder does not validate).
inline constexpr uint8_t kBase64Pad = 99;
inline constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::array<uint8_t, 256> make_base64_decode_table() {
  std::array<uint8_t, 256> t{};
  for (uint8_t v = 0; v < 64; ++v) t[static_cast<uint8_t>(kBase64Alphabet[v])] = v;
  t[static_cast<uint8_t>('=')] = kBase64Pad;
  return t;
}
inline constexpr std::array<uint8_t, 256> kBase64DecodeTable = make_base64_decode_table();

}  // namespace quorvel::detail

#endif  // QUORVEL_SRC_CRYPTO_HASH_KERNELS_HPP
