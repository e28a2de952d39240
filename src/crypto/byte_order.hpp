// Words in a fixed byte order at any address, the same bytes on little- and
// big-endian hosts.  memcpy keeps unaligned caller buffers legal; the
// compiler turns each into one load or store plus a byte swap where the
// host order differs.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace quorvel::detail {

template <std::endian Order>
inline uint32_t load32(const void *p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native != Order) v = __builtin_bswap32(v);
  return v;
}

template <std::endian Order>
inline uint64_t load64(const void *p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native != Order) v = __builtin_bswap64(v);
  return v;
}

template <std::endian Order>
inline void store32(void *p, uint32_t v) {
  if constexpr (std::endian::native != Order) v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}

template <std::endian Order>
inline void store64(void *p, uint64_t v) {
  if constexpr (std::endian::native != Order) v = __builtin_bswap64(v);
  std::memcpy(p, &v, sizeof v);
}

inline uint32_t load_le32(const void *p) { return load32<std::endian::little>(p); }
inline uint64_t load_le64(const void *p) { return load64<std::endian::little>(p); }
inline uint32_t load_be32(const void *p) { return load32<std::endian::big>(p); }
inline uint64_t load_be64(const void *p) { return load64<std::endian::big>(p); }
inline void store_le32(void *p, uint32_t v) { store32<std::endian::little>(p, v); }
inline void store_le64(void *p, uint64_t v) { store64<std::endian::little>(p, v); }
inline void store_be32(void *p, uint32_t v) { store32<std::endian::big>(p, v); }

}  // namespace quorvel::detail
