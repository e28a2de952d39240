// MD5 (RFC 1321) over a caller-allocated context.
#include <cstring>

#include "crypto/byte_order.hpp"
#include "crypto/kernels.hpp"
#include "quorvel/crypto.h"

static_assert(sizeof(QRVL_MD5_CTX) == 88, "QRVL_MD5_CTX is a fixed 88-byte record");
static_assert(offsetof(QRVL_MD5_CTX, state) == 0);
static_assert(offsetof(QRVL_MD5_CTX, count) == 16);
static_assert(offsetof(QRVL_MD5_CTX, buffer) == 24);

namespace quorvel::detail {
namespace {

// T[i] = floor(2^32 * |sin(i + 1)|), written out as RFC 1321 lists them
// (sin() is not usable in a constant expression).
constexpr uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr uint8_t kPad[64] = {0x80};

// Each step is a = b + rotl(a + f(b, c, d) + x[k] + T[i], s).  The sum
// a + x[k] + T[i] does not depend on b, c, d, so it is formed first and the
// chain through b stays short.  G is written as two adds of disjoint bit
// sets, I and F in their xor forms.
#define QRVL_MD5_STEP(f, a, b, c, d, x, t, s) \
  (a) += (x) + (t);                           \
  (a) += f((b), (c), (d));                    \
  (a) = std::rotl((a), (s)) + (b)

#define QRVL_MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define QRVL_MD5_G(b, c, d) (((d) & (b)) + (~(d) & (c)))
#define QRVL_MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define QRVL_MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

}  // namespace

void md5_blocks_portable(uint32_t *state, const uint8_t *blocks, size_t nblocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; nblocks != 0; --nblocks, blocks += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = load_le32(blocks + 4 * i);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    QRVL_MD5_STEP(QRVL_MD5_F, a, b, c, d, x[0], kT[0], 7);
    QRVL_MD5_STEP(QRVL_MD5_F, d, a, b, c, x[1], kT[1], 12);
    QRVL_MD5_STEP(QRVL_MD5_F, c, d, a, b, x[2], kT[2], 17);
    QRVL_MD5_STEP(QRVL_MD5_F, b, c, d, a, x[3], kT[3], 22);
    QRVL_MD5_STEP(QRVL_MD5_F, a, b, c, d, x[4], kT[4], 7);
    QRVL_MD5_STEP(QRVL_MD5_F, d, a, b, c, x[5], kT[5], 12);
    QRVL_MD5_STEP(QRVL_MD5_F, c, d, a, b, x[6], kT[6], 17);
    QRVL_MD5_STEP(QRVL_MD5_F, b, c, d, a, x[7], kT[7], 22);
    QRVL_MD5_STEP(QRVL_MD5_F, a, b, c, d, x[8], kT[8], 7);
    QRVL_MD5_STEP(QRVL_MD5_F, d, a, b, c, x[9], kT[9], 12);
    QRVL_MD5_STEP(QRVL_MD5_F, c, d, a, b, x[10], kT[10], 17);
    QRVL_MD5_STEP(QRVL_MD5_F, b, c, d, a, x[11], kT[11], 22);
    QRVL_MD5_STEP(QRVL_MD5_F, a, b, c, d, x[12], kT[12], 7);
    QRVL_MD5_STEP(QRVL_MD5_F, d, a, b, c, x[13], kT[13], 12);
    QRVL_MD5_STEP(QRVL_MD5_F, c, d, a, b, x[14], kT[14], 17);
    QRVL_MD5_STEP(QRVL_MD5_F, b, c, d, a, x[15], kT[15], 22);

    QRVL_MD5_STEP(QRVL_MD5_G, a, b, c, d, x[1], kT[16], 5);
    QRVL_MD5_STEP(QRVL_MD5_G, d, a, b, c, x[6], kT[17], 9);
    QRVL_MD5_STEP(QRVL_MD5_G, c, d, a, b, x[11], kT[18], 14);
    QRVL_MD5_STEP(QRVL_MD5_G, b, c, d, a, x[0], kT[19], 20);
    QRVL_MD5_STEP(QRVL_MD5_G, a, b, c, d, x[5], kT[20], 5);
    QRVL_MD5_STEP(QRVL_MD5_G, d, a, b, c, x[10], kT[21], 9);
    QRVL_MD5_STEP(QRVL_MD5_G, c, d, a, b, x[15], kT[22], 14);
    QRVL_MD5_STEP(QRVL_MD5_G, b, c, d, a, x[4], kT[23], 20);
    QRVL_MD5_STEP(QRVL_MD5_G, a, b, c, d, x[9], kT[24], 5);
    QRVL_MD5_STEP(QRVL_MD5_G, d, a, b, c, x[14], kT[25], 9);
    QRVL_MD5_STEP(QRVL_MD5_G, c, d, a, b, x[3], kT[26], 14);
    QRVL_MD5_STEP(QRVL_MD5_G, b, c, d, a, x[8], kT[27], 20);
    QRVL_MD5_STEP(QRVL_MD5_G, a, b, c, d, x[13], kT[28], 5);
    QRVL_MD5_STEP(QRVL_MD5_G, d, a, b, c, x[2], kT[29], 9);
    QRVL_MD5_STEP(QRVL_MD5_G, c, d, a, b, x[7], kT[30], 14);
    QRVL_MD5_STEP(QRVL_MD5_G, b, c, d, a, x[12], kT[31], 20);

    QRVL_MD5_STEP(QRVL_MD5_H, a, b, c, d, x[5], kT[32], 4);
    QRVL_MD5_STEP(QRVL_MD5_H, d, a, b, c, x[8], kT[33], 11);
    QRVL_MD5_STEP(QRVL_MD5_H, c, d, a, b, x[11], kT[34], 16);
    QRVL_MD5_STEP(QRVL_MD5_H, b, c, d, a, x[14], kT[35], 23);
    QRVL_MD5_STEP(QRVL_MD5_H, a, b, c, d, x[1], kT[36], 4);
    QRVL_MD5_STEP(QRVL_MD5_H, d, a, b, c, x[4], kT[37], 11);
    QRVL_MD5_STEP(QRVL_MD5_H, c, d, a, b, x[7], kT[38], 16);
    QRVL_MD5_STEP(QRVL_MD5_H, b, c, d, a, x[10], kT[39], 23);
    QRVL_MD5_STEP(QRVL_MD5_H, a, b, c, d, x[13], kT[40], 4);
    QRVL_MD5_STEP(QRVL_MD5_H, d, a, b, c, x[0], kT[41], 11);
    QRVL_MD5_STEP(QRVL_MD5_H, c, d, a, b, x[3], kT[42], 16);
    QRVL_MD5_STEP(QRVL_MD5_H, b, c, d, a, x[6], kT[43], 23);
    QRVL_MD5_STEP(QRVL_MD5_H, a, b, c, d, x[9], kT[44], 4);
    QRVL_MD5_STEP(QRVL_MD5_H, d, a, b, c, x[12], kT[45], 11);
    QRVL_MD5_STEP(QRVL_MD5_H, c, d, a, b, x[15], kT[46], 16);
    QRVL_MD5_STEP(QRVL_MD5_H, b, c, d, a, x[2], kT[47], 23);

    QRVL_MD5_STEP(QRVL_MD5_I, a, b, c, d, x[0], kT[48], 6);
    QRVL_MD5_STEP(QRVL_MD5_I, d, a, b, c, x[7], kT[49], 10);
    QRVL_MD5_STEP(QRVL_MD5_I, c, d, a, b, x[14], kT[50], 15);
    QRVL_MD5_STEP(QRVL_MD5_I, b, c, d, a, x[5], kT[51], 21);
    QRVL_MD5_STEP(QRVL_MD5_I, a, b, c, d, x[12], kT[52], 6);
    QRVL_MD5_STEP(QRVL_MD5_I, d, a, b, c, x[3], kT[53], 10);
    QRVL_MD5_STEP(QRVL_MD5_I, c, d, a, b, x[10], kT[54], 15);
    QRVL_MD5_STEP(QRVL_MD5_I, b, c, d, a, x[1], kT[55], 21);
    QRVL_MD5_STEP(QRVL_MD5_I, a, b, c, d, x[8], kT[56], 6);
    QRVL_MD5_STEP(QRVL_MD5_I, d, a, b, c, x[15], kT[57], 10);
    QRVL_MD5_STEP(QRVL_MD5_I, c, d, a, b, x[6], kT[58], 15);
    QRVL_MD5_STEP(QRVL_MD5_I, b, c, d, a, x[13], kT[59], 21);
    QRVL_MD5_STEP(QRVL_MD5_I, a, b, c, d, x[4], kT[60], 6);
    QRVL_MD5_STEP(QRVL_MD5_I, d, a, b, c, x[11], kT[61], 10);
    QRVL_MD5_STEP(QRVL_MD5_I, c, d, a, b, x[2], kT[62], 15);
    QRVL_MD5_STEP(QRVL_MD5_I, b, c, d, a, x[9], kT[63], 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef QRVL_MD5_STEP
#undef QRVL_MD5_F
#undef QRVL_MD5_G
#undef QRVL_MD5_H
#undef QRVL_MD5_I

}  // namespace quorvel::detail

namespace {

using quorvel::detail::md5_blocks;

void md5_update(QRVL_MD5_CTX *ctx, const uint8_t *input, uint32_t len) {
  uint32_t index = (ctx->count[0] >> 3) & 63u;
  const uint32_t bits = len << 3;
  ctx->count[0] += bits;
  if (ctx->count[0] < bits) ++ctx->count[1];
  ctx->count[1] += len >> 29;

  uint32_t i = 0;
  const uint32_t part = 64 - index;
  if (len >= part) {
    std::memcpy(ctx->buffer + index, input, part);
    md5_blocks(ctx->state, ctx->buffer, 1);
    i = part;
    // Whole blocks are compressed straight from the caller's input.
    const uint32_t whole = (len - i) / 64;
    md5_blocks(ctx->state, input + i, whole);
    i += whole * 64;
    index = 0;
  }
  if (len > i) std::memcpy(ctx->buffer + index, input + i, len - i);
}

}  // namespace

extern "C" QRVL_API void QRVL_MD5Init(QRVL_MD5_CTX *ctx) {
  ctx->state[0] = 0x67452301u;
  ctx->state[1] = 0xefcdab89u;
  ctx->state[2] = 0x98badcfeu;
  ctx->state[3] = 0x10325476u;
  ctx->count[0] = 0;
  ctx->count[1] = 0;
}

extern "C" QRVL_API void QRVL_MD5Update(QRVL_MD5_CTX *ctx, const uint8_t *input, uint32_t len) {
  md5_update(ctx, input, len);
}

extern "C" QRVL_API void QRVL_MD5Final(uint8_t *digest, QRVL_MD5_CTX *ctx) {
  uint8_t bits[8];
  quorvel::detail::store_le32(bits, ctx->count[0]);
  quorvel::detail::store_le32(bits + 4, ctx->count[1]);
  const uint32_t index = (ctx->count[0] >> 3) & 63u;
  const uint32_t pad_len = index < 56 ? 56 - index : 120 - index;
  md5_update(ctx, quorvel::detail::kPad, pad_len);
  md5_update(ctx, bits, 8);
  for (int i = 0; i < 4; ++i) quorvel::detail::store_le32(digest + 4 * i, ctx->state[i]);
  std::memset(ctx, 0, sizeof *ctx);
}
