// Big-endian 32-bit words at any address, shared by AES and SHA-2.
#pragma once

#include <cstdint>
#include <cstring>

namespace quorvel::detail {

// memcpy keeps unaligned caller buffers legal; the compiler turns it into
// one load and a byte swap.
inline uint32_t load_be32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_bswap32(v);
}

inline void store_be32(uint8_t *p, uint32_t v) {
  v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}

}  // namespace quorvel::detail
