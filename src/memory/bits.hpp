// Bit addressing shared by the bit-array exports and the STD_Map bitmap:
// bit n is bit 7 - n % 8 of byte n / 8 (most significant first).
#pragma once

#include <cstdint>

namespace quorvel::detail {

inline bool bit_get(const uint8_t *bytes, uint32_t n) {
  return (bytes[n / 8] >> (7 - n % 8)) & 1u;
}

inline void bit_put(uint8_t *bytes, uint32_t n, bool value) {
  const auto mask = static_cast<uint8_t>(0x80u >> (n % 8));
  if (value)
    bytes[n / 8] = static_cast<uint8_t>(bytes[n / 8] | mask);
  else
    bytes[n / 8] = static_cast<uint8_t>(bytes[n / 8] & ~mask);
}

}  // namespace quorvel::detail
