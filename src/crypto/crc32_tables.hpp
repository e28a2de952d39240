// The one-table CRC-32 steps of both bit orders, the reference that the
// sliced kernels are built from and must match.
#pragma once

#include <array>
#include <cstdint>

namespace quorvel::detail {

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

}  // namespace quorvel::detail
