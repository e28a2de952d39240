// HMAC over SHA-224 and SHA-256.  The keyed inner and outer hashes are kept
// as saved copies, so reinit is two record copies and needs no key.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quorvel/crypto.h"

static_assert(sizeof(hmac_csha256_ctx) == 4 * 168 + 2 * 64);
static_assert(offsetof(hmac_csha256_ctx, outer) == 168);
static_assert(offsetof(hmac_csha256_ctx, inner_saved) == 2 * 168);
static_assert(offsetof(hmac_csha256_ctx, outer_saved) == 3 * 168);
static_assert(offsetof(hmac_csha256_ctx, ipad_block) == 4 * 168);
static_assert(offsetof(hmac_csha256_ctx, opad_block) == 4 * 168 + 64);

namespace {

constexpr uint32_t kBlock = 64;

struct Variant {
  void (*init)(csha256_ctx *);
  void (*final)(csha256_ctx *, uint8_t *);
  void (*oneshot)(const uint8_t *, uint32_t, uint8_t *);
  uint32_t digest_size;
};

constexpr Variant kSha256 = {csha256_init, csha256_final, csha256, 32};
constexpr Variant kSha224 = {csha224_init, csha224_final, csha224, 28};

void keyed_start(hmac_csha256_ctx *ctx, const uint8_t *key, uint32_t key_size, const Variant &v) {
  uint8_t digest[32];
  if (key_size > kBlock) {
    v.oneshot(key, key_size, digest);
    key = digest;
    key_size = v.digest_size;
  }
  for (uint32_t i = 0; i < key_size; ++i) {
    ctx->ipad_block[i] = static_cast<uint8_t>(key[i] ^ 0x36);
    ctx->opad_block[i] = static_cast<uint8_t>(key[i] ^ 0x5c);
  }
  std::memset(ctx->ipad_block + key_size, 0x36, kBlock - key_size);
  std::memset(ctx->opad_block + key_size, 0x5c, kBlock - key_size);
  v.init(&ctx->inner);
  csha256_update(&ctx->inner, ctx->ipad_block, kBlock);
  v.init(&ctx->outer);
  csha256_update(&ctx->outer, ctx->opad_block, kBlock);
  ctx->inner_saved = ctx->inner;
  ctx->outer_saved = ctx->outer;
}

void finish(hmac_csha256_ctx *ctx, uint8_t *mac, uint32_t mac_size, const Variant &v) {
  uint8_t digest[32];
  v.final(&ctx->inner, digest);
  csha256_update(&ctx->outer, digest, v.digest_size);
  v.final(&ctx->outer, digest);
  // Only the MAC is held: a larger request is clamped, never over-read.
  const uint32_t n = mac_size < v.digest_size ? mac_size : v.digest_size;
  if (n != 0) std::memcpy(mac, digest, n);
}

}  // namespace

extern "C" void hmac_csha256_init(hmac_csha256_ctx *ctx, const uint8_t *key, uint32_t key_size) {
  keyed_start(ctx, key, key_size, kSha256);
}

extern "C" void hmac_csha224_init(hmac_csha256_ctx *ctx, const uint8_t *key, uint32_t key_size) {
  keyed_start(ctx, key, key_size, kSha224);
}

extern "C" void hmac_csha256_reinit(hmac_csha256_ctx *ctx) {
  ctx->inner = ctx->inner_saved;
  ctx->outer = ctx->outer_saved;
}

extern "C" void hmac_csha224_reinit(hmac_csha256_ctx *ctx) QRVL_ALIAS(hmac_csha256_reinit);

extern "C" void hmac_csha256_update(hmac_csha256_ctx *ctx, const uint8_t *message, uint32_t len) {
  csha256_update(&ctx->inner, message, len);
}

extern "C" void hmac_csha224_update(hmac_csha256_ctx *ctx, const uint8_t *message, uint32_t len)
    QRVL_ALIAS(hmac_csha256_update);

extern "C" void hmac_csha256_final(hmac_csha256_ctx *ctx, uint8_t *mac, uint32_t mac_size) {
  finish(ctx, mac, mac_size, kSha256);
}

extern "C" void hmac_csha224_final(hmac_csha256_ctx *ctx, uint8_t *mac, uint32_t mac_size) {
  finish(ctx, mac, mac_size, kSha224);
}

extern "C" void hmac_csha256(const uint8_t *key, uint32_t key_size, const uint8_t *message,
                             uint32_t message_len, uint8_t *mac, uint32_t mac_size) {
  hmac_csha256_ctx ctx;
  hmac_csha256_init(&ctx, key, key_size);
  hmac_csha256_update(&ctx, message, message_len);
  hmac_csha256_final(&ctx, mac, mac_size);
}

extern "C" void hmac_csha224(const uint8_t *key, uint32_t key_size, const uint8_t *message,
                             uint32_t message_len, uint8_t *mac, uint32_t mac_size) {
  hmac_csha256_ctx ctx;
  hmac_csha224_init(&ctx, key, key_size);
  hmac_csha224_update(&ctx, message, message_len);
  hmac_csha224_final(&ctx, mac, mac_size);
}
