// SHA-224 and SHA-256: one context, one update, one compression; the two
// differ in their initial hash value and in how many words final writes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/byte_order.hpp"
#include "crypto/sha256.hpp"
#include "quorvel/crypto.h"

static_assert(sizeof(csha256_ctx) == 168);
static_assert(offsetof(csha256_ctx, pending_len) == 4);
static_assert(offsetof(csha256_ctx, buffer) == 8);
static_assert(offsetof(csha256_ctx, state) == 136);

namespace {

using quorvel::detail::sha256_engine;
using quorvel::detail::store_be32;

// The first 32 bits of the fractional parts of the square roots of the
// first 8 primes (SHA-256), and the second 32 bits of those of the 9th to
// 16th primes (SHA-224).
constexpr uint32_t kSha256Init[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr uint32_t kSha224Init[8] = {0xc1059ed8, 0x367cd507, 0x3070dd17, 0xf70e5939,
                                     0xffc00b31, 0x68581511, 0x64f98fa7, 0xbefa4fa4};

void start(csha256_ctx *ctx, const uint32_t (&init)[8]) {
  std::memcpy(ctx->state, init, sizeof ctx->state);
  ctx->hashed_len = 0;
  ctx->pending_len = 0;
}

// Pads, compresses the closing block(s) and writes `words` state words.
void finish(csha256_ctx *ctx, uint8_t *digest, int words) {
  const uint32_t pending = ctx->pending_len;
  const uint32_t blocks = pending > 55 ? 2 : 1;
  const uint32_t bit_count = (ctx->hashed_len + pending) * 8u;  // modulo 2^32 by design
  std::memset(ctx->buffer + pending, 0, blocks * 64 - pending);
  ctx->buffer[pending] = 0x80;
  store_be32(ctx->buffer + blocks * 64 - 4, bit_count);
  sha256_engine().compress(ctx->state, ctx->buffer, blocks);
  for (int i = 0; i < words; ++i) store_be32(digest + 4 * i, ctx->state[i]);
}

}  // namespace

extern "C" void csha256_init(csha256_ctx *ctx) { start(ctx, kSha256Init); }

extern "C" void csha224_init(csha256_ctx *ctx) { start(ctx, kSha224Init); }

extern "C" void csha256_update(csha256_ctx *ctx, const uint8_t *message, uint32_t len) {
  if (len == 0) {
    return;
  }
  const auto compress = sha256_engine().compress;
  // Top up a part-filled buffer first; whole blocks after it are hashed in
  // place, so a message that starts on a block boundary is never copied.
  if (const uint32_t pending = ctx->pending_len; pending != 0) {
    const uint32_t take = len < 64 - pending ? len : 64 - pending;
    std::memcpy(ctx->buffer + pending, message, take);
    if (pending + len < 64) {
      ctx->pending_len = pending + len;
      return;
    }
    compress(ctx->state, ctx->buffer, 1);
    ctx->hashed_len += 64;
    message += take;
    len -= take;
  }
  const uint32_t whole = len / 64;
  if (whole != 0) {
    compress(ctx->state, message, whole);
    ctx->hashed_len += whole * 64;
  }
  const uint32_t tail = len % 64;
  if (tail != 0) {
    std::memcpy(ctx->buffer, message + whole * 64, tail);
  }
  ctx->pending_len = tail;
}

extern "C" void csha224_update(csha256_ctx *ctx, const uint8_t *message, uint32_t len)
    QRVL_ALIAS(csha256_update);

extern "C" void csha256_final(csha256_ctx *ctx, uint8_t *digest) { finish(ctx, digest, 8); }

extern "C" void csha224_final(csha256_ctx *ctx, uint8_t *digest) { finish(ctx, digest, 7); }

extern "C" void csha256(const uint8_t *message, uint32_t len, uint8_t *digest) {
  csha256_ctx ctx;
  csha256_init(&ctx);
  csha256_update(&ctx, message, len);
  csha256_final(&ctx, digest);
}

extern "C" void csha224(const uint8_t *message, uint32_t len, uint8_t *digest) {
  csha256_ctx ctx;
  csha224_init(&ctx);
  csha256_update(&ctx, message, len);
  csha224_final(&ctx, digest);
}
