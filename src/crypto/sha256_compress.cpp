// The portable SHA-256 compression: all 64 steps unrolled, the message
// schedule kept in a rolling window of 16 words.
#include <bit>
#include <cstddef>
#include <cstdint>

#include "crypto/byte_order.hpp"
#include "crypto/sha256.hpp"

namespace quorvel::detail {
namespace {


inline uint32_t big_sigma0(uint32_t x) {
  return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22);
}
inline uint32_t big_sigma1(uint32_t x) {
  return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25);
}
inline uint32_t small_sigma0(uint32_t x) { return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3); }
inline uint32_t small_sigma1(uint32_t x) {
  return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10);
}
inline uint32_t choose(uint32_t e, uint32_t f, uint32_t g) { return g ^ (e & (f ^ g)); }
inline uint32_t majority(uint32_t a, uint32_t b, uint32_t c) { return (a & b) | (c & (a | b)); }

// One step; the caller rotates the roles of a..h instead of moving values.
#define QRVL_SHA256_STEP(a, b, c, d, e, f, g, h, w, k)             \
  do {                                                             \
    const uint32_t t1_ = h + big_sigma1(e) + choose(e, f, g) + k + w; \
    d += t1_;                                                      \
    h = t1_ + big_sigma0(a) + majority(a, b, c);                   \
  } while (0)

// Schedule word i (i >= 16) replaces word i - 16 in the window.
#define QRVL_SHA256_EXPAND(i)                                                         \
  (w[(i) & 15] += small_sigma1(w[((i) - 2) & 15]) + w[((i) - 7) & 15] +              \
                  small_sigma0(w[((i) - 15) & 15]))

#define QRVL_SHA256_EIGHT(i, W)                                   \
  QRVL_SHA256_STEP(a, b, c, d, e, f, g, h, W((i) + 0), kSha256K[(i) + 0]); \
  QRVL_SHA256_STEP(h, a, b, c, d, e, f, g, W((i) + 1), kSha256K[(i) + 1]); \
  QRVL_SHA256_STEP(g, h, a, b, c, d, e, f, W((i) + 2), kSha256K[(i) + 2]); \
  QRVL_SHA256_STEP(f, g, h, a, b, c, d, e, W((i) + 3), kSha256K[(i) + 3]); \
  QRVL_SHA256_STEP(e, f, g, h, a, b, c, d, W((i) + 4), kSha256K[(i) + 4]); \
  QRVL_SHA256_STEP(d, e, f, g, h, a, b, c, W((i) + 5), kSha256K[(i) + 5]); \
  QRVL_SHA256_STEP(c, d, e, f, g, h, a, b, W((i) + 6), kSha256K[(i) + 6]); \
  QRVL_SHA256_STEP(b, c, d, e, f, g, h, a, W((i) + 7), kSha256K[(i) + 7])

void compress_portable(uint32_t state[8], const uint8_t *data, size_t blocks) {
  for (; blocks != 0; --blocks, data += 64) {
    uint32_t w[16];
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
#define QRVL_SHA256_LOAD(i) (w[i] = load_be32(data + 4 * (i)))
    QRVL_SHA256_EIGHT(0, QRVL_SHA256_LOAD);
    QRVL_SHA256_EIGHT(8, QRVL_SHA256_LOAD);
#undef QRVL_SHA256_LOAD
    QRVL_SHA256_EIGHT(16, QRVL_SHA256_EXPAND);
    QRVL_SHA256_EIGHT(24, QRVL_SHA256_EXPAND);
    QRVL_SHA256_EIGHT(32, QRVL_SHA256_EXPAND);
    QRVL_SHA256_EIGHT(40, QRVL_SHA256_EXPAND);
    QRVL_SHA256_EIGHT(48, QRVL_SHA256_EXPAND);
    QRVL_SHA256_EIGHT(56, QRVL_SHA256_EXPAND);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#undef QRVL_SHA256_EIGHT
#undef QRVL_SHA256_EXPAND
#undef QRVL_SHA256_STEP

}  // namespace

const Sha256Engine kSha256Portable = {"portable", EngineTier::kPortable, runs_anywhere,
                                       compress_portable};

}  // namespace quorvel::detail
