// MurmurHash3, the three published variants, step for step.  Blocks are
// read as little-endian words whatever the host, results are stored in the
// host's order.
#include <bit>
#include <cstring>

#include "crypto/byte_order.hpp"
#include "crypto/kernels.hpp"
#include "quorvel/crypto.h"

namespace {

using quorvel::detail::load_le32;
using quorvel::detail::load_le64;

inline uint32_t fmix32(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  return h;
}

inline uint64_t fmix64(uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdull;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ull;
  k ^= k >> 33;
  return k;
}

// A negative length is outside the contract; it is hashed as the empty key
// so that nothing is read.
inline int32_t clamp_len(int32_t len) {
  return len < 0 ? 0 : len;
}

}  // namespace

extern "C" QRVL_API void MurmurHash3_x86_32(const void *key, int32_t len, uint32_t seed,
                                            void *out) {
  len = clamp_len(len);
  const auto *data = static_cast<const uint8_t *>(key);
  const int32_t nblocks = len / 4;
  constexpr uint32_t c1 = 0xcc9e2d51u, c2 = 0x1b873593u;
  uint32_t h1 = seed;

  for (int32_t i = 0; i < nblocks; ++i) {
    uint32_t k1 = load_le32(data + 4 * i);
    k1 *= c1;
    k1 = std::rotl(k1, 15);
    k1 *= c2;
    h1 ^= k1;
    h1 = std::rotl(h1, 13);
    h1 = h1 * 5 + 0xe6546b64u;
  }

  const uint8_t *tail = data + 4 * nblocks;
  uint32_t k1 = 0;
  switch (len & 3) {
    case 3:
      k1 ^= uint32_t{tail[2]} << 16;
      [[fallthrough]];
    case 2:
      k1 ^= uint32_t{tail[1]} << 8;
      [[fallthrough]];
    case 1:
      k1 ^= tail[0];
      k1 *= c1;
      k1 = std::rotl(k1, 15);
      k1 *= c2;
      h1 ^= k1;
  }

  h1 ^= static_cast<uint32_t>(len);
  h1 = fmix32(h1);
  std::memcpy(out, &h1, 4);
}

extern "C" QRVL_API void MurmurHash3_x86_128(const void *key, int32_t len, uint32_t seed,
                                             void *out) {
  len = clamp_len(len);
  const auto *data = static_cast<const uint8_t *>(key);
  const int32_t nblocks = len / 16;
  constexpr uint32_t c1 = 0x239b961bu, c2 = 0xab0e9789u, c3 = 0x38b34ae5u, c4 = 0xa1e38b93u;
  uint32_t h1 = seed, h2 = seed, h3 = seed, h4 = seed;

  for (int32_t i = 0; i < nblocks; ++i) {
    const uint8_t *block = data + 16 * i;
    uint32_t k1 = load_le32(block);
    uint32_t k2 = load_le32(block + 4);
    uint32_t k3 = load_le32(block + 8);
    uint32_t k4 = load_le32(block + 12);

    k1 *= c1;
    k1 = std::rotl(k1, 15);
    k1 *= c2;
    h1 ^= k1;
    h1 = std::rotl(h1, 19);
    h1 += h2;
    h1 = h1 * 5 + 0x561ccd1bu;

    k2 *= c2;
    k2 = std::rotl(k2, 16);
    k2 *= c3;
    h2 ^= k2;
    h2 = std::rotl(h2, 17);
    h2 += h3;
    h2 = h2 * 5 + 0x0bcaa747u;

    k3 *= c3;
    k3 = std::rotl(k3, 17);
    k3 *= c4;
    h3 ^= k3;
    h3 = std::rotl(h3, 15);
    h3 += h4;
    h3 = h3 * 5 + 0x96cd1c35u;

    k4 *= c4;
    k4 = std::rotl(k4, 18);
    k4 *= c1;
    h4 ^= k4;
    h4 = std::rotl(h4, 13);
    h4 += h1;
    h4 = h4 * 5 + 0x32ac3b17u;
  }

  const uint8_t *tail = data + 16 * nblocks;
  uint32_t k1 = 0, k2 = 0, k3 = 0, k4 = 0;
  switch (len & 15) {
    case 15:
      k4 ^= uint32_t{tail[14]} << 16;
      [[fallthrough]];
    case 14:
      k4 ^= uint32_t{tail[13]} << 8;
      [[fallthrough]];
    case 13:
      k4 ^= tail[12];
      k4 *= c4;
      k4 = std::rotl(k4, 18);
      k4 *= c1;
      h4 ^= k4;
      [[fallthrough]];
    case 12:
      k3 ^= uint32_t{tail[11]} << 24;
      [[fallthrough]];
    case 11:
      k3 ^= uint32_t{tail[10]} << 16;
      [[fallthrough]];
    case 10:
      k3 ^= uint32_t{tail[9]} << 8;
      [[fallthrough]];
    case 9:
      k3 ^= tail[8];
      k3 *= c3;
      k3 = std::rotl(k3, 17);
      k3 *= c4;
      h3 ^= k3;
      [[fallthrough]];
    case 8:
      k2 ^= uint32_t{tail[7]} << 24;
      [[fallthrough]];
    case 7:
      k2 ^= uint32_t{tail[6]} << 16;
      [[fallthrough]];
    case 6:
      k2 ^= uint32_t{tail[5]} << 8;
      [[fallthrough]];
    case 5:
      k2 ^= tail[4];
      k2 *= c2;
      k2 = std::rotl(k2, 16);
      k2 *= c3;
      h2 ^= k2;
      [[fallthrough]];
    case 4:
      k1 ^= uint32_t{tail[3]} << 24;
      [[fallthrough]];
    case 3:
      k1 ^= uint32_t{tail[2]} << 16;
      [[fallthrough]];
    case 2:
      k1 ^= uint32_t{tail[1]} << 8;
      [[fallthrough]];
    case 1:
      k1 ^= tail[0];
      k1 *= c1;
      k1 = std::rotl(k1, 15);
      k1 *= c2;
      h1 ^= k1;
  }

  const auto ulen = static_cast<uint32_t>(len);
  h1 ^= ulen;
  h2 ^= ulen;
  h3 ^= ulen;
  h4 ^= ulen;
  h1 += h2;
  h1 += h3;
  h1 += h4;
  h2 += h1;
  h3 += h1;
  h4 += h1;
  h1 = fmix32(h1);
  h2 = fmix32(h2);
  h3 = fmix32(h3);
  h4 = fmix32(h4);
  h1 += h2;
  h1 += h3;
  h1 += h4;
  h2 += h1;
  h3 += h1;
  h4 += h1;

  const uint32_t h[4] = {h1, h2, h3, h4};
  std::memcpy(out, h, sizeof h);
}

extern "C" QRVL_API void MurmurHash3_x64_128(const void *key, int32_t len, uint32_t seed,
                                             void *out) {
  len = clamp_len(len);
  const auto *data = static_cast<const uint8_t *>(key);
  const int32_t nblocks = len / 16;
  constexpr uint64_t c1 = 0x87c37b91114253d5ull, c2 = 0x4cf5ad432745937full;
  // The seed is widened, never sign-extended.
  uint64_t h1 = seed, h2 = seed;

  for (int32_t i = 0; i < nblocks; ++i) {
    uint64_t k1 = load_le64(data + 16 * i);
    uint64_t k2 = load_le64(data + 16 * i + 8);

    k1 *= c1;
    k1 = std::rotl(k1, 31);
    k1 *= c2;
    h1 ^= k1;
    h1 = std::rotl(h1, 27);
    h1 += h2;
    h1 = h1 * 5 + 0x52dce729u;

    k2 *= c2;
    k2 = std::rotl(k2, 33);
    k2 *= c1;
    h2 ^= k2;
    h2 = std::rotl(h2, 31);
    h2 += h1;
    h2 = h2 * 5 + 0x38495ab5u;
  }

  const uint8_t *tail = data + 16 * nblocks;
  uint64_t k1 = 0, k2 = 0;
  switch (len & 15) {
    case 15:
      k2 ^= uint64_t{tail[14]} << 48;
      [[fallthrough]];
    case 14:
      k2 ^= uint64_t{tail[13]} << 40;
      [[fallthrough]];
    case 13:
      k2 ^= uint64_t{tail[12]} << 32;
      [[fallthrough]];
    case 12:
      k2 ^= uint64_t{tail[11]} << 24;
      [[fallthrough]];
    case 11:
      k2 ^= uint64_t{tail[10]} << 16;
      [[fallthrough]];
    case 10:
      k2 ^= uint64_t{tail[9]} << 8;
      [[fallthrough]];
    case 9:
      k2 ^= uint64_t{tail[8]};
      k2 *= c2;
      k2 = std::rotl(k2, 33);
      k2 *= c1;
      h2 ^= k2;
      [[fallthrough]];
    case 8:
      k1 ^= uint64_t{tail[7]} << 56;
      [[fallthrough]];
    case 7:
      k1 ^= uint64_t{tail[6]} << 48;
      [[fallthrough]];
    case 6:
      k1 ^= uint64_t{tail[5]} << 40;
      [[fallthrough]];
    case 5:
      k1 ^= uint64_t{tail[4]} << 32;
      [[fallthrough]];
    case 4:
      k1 ^= uint64_t{tail[3]} << 24;
      [[fallthrough]];
    case 3:
      k1 ^= uint64_t{tail[2]} << 16;
      [[fallthrough]];
    case 2:
      k1 ^= uint64_t{tail[1]} << 8;
      [[fallthrough]];
    case 1:
      k1 ^= uint64_t{tail[0]};
      k1 *= c1;
      k1 = std::rotl(k1, 31);
      k1 *= c2;
      h1 ^= k1;
  }

  const auto ulen = static_cast<uint64_t>(len);
  h1 ^= ulen;
  h2 ^= ulen;
  h1 += h2;
  h2 += h1;
  h1 = fmix64(h1);
  h2 = fmix64(h2);
  h1 += h2;
  h2 += h1;

  const uint64_t h[2] = {h1, h2};
  std::memcpy(out, h, sizeof h);
}
