// HMAC over SHA-224 and SHA-256.  The keyed inner and outer hashes are kept
// as saved copies, so reinit is two record copies and needs no key; the
// one-shot calls skip the context and its copies altogether.
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

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5c;

// K0 xor the inner pad: the key (hashed first when longer than a block),
// zero-padded to a block.  XOR with kInnerPad ^ kOuterPad gives the outer one.
void inner_pad_block(const uint8_t *key, uint32_t key_size, const Variant &v,
                     uint8_t block[kBlock]) {
  uint8_t digest[32];
  if (key_size > kBlock) {
    v.oneshot(key, key_size, digest);
    key = digest;
    key_size = v.digest_size;
  }
  for (uint32_t i = 0; i < key_size; ++i) {
    block[i] = static_cast<uint8_t>(key[i] ^ kInnerPad);
  }
  std::memset(block + key_size, kInnerPad, kBlock - key_size);
}

void to_outer_pad(const uint8_t inner[kBlock], uint8_t outer[kBlock]) {
  for (uint32_t i = 0; i < kBlock; ++i) {
    outer[i] = static_cast<uint8_t>(inner[i] ^ (kInnerPad ^ kOuterPad));
  }
}

// A hash that has absorbed one pad block (compressed in place, not copied).
void start_hash(csha256_ctx *hash, const uint8_t block[kBlock], const Variant &v) {
  v.init(hash);
  csha256_update(hash, block, kBlock);
}

void keyed_start(hmac_csha256_ctx *ctx, const uint8_t *key, uint32_t key_size, const Variant &v) {
  inner_pad_block(key, key_size, v, ctx->ipad_block);
  to_outer_pad(ctx->ipad_block, ctx->opad_block);
  start_hash(&ctx->inner, ctx->ipad_block, v);
  start_hash(&ctx->outer, ctx->opad_block, v);
  ctx->inner_saved = ctx->inner;
  ctx->outer_saved = ctx->outer;
}

// The outer hash over the inner digest; writes the first mac_size bytes.
void finish(csha256_ctx *inner, csha256_ctx *outer, uint8_t *mac, uint32_t mac_size,
            const Variant &v) {
  uint8_t digest[32];
  v.final(inner, digest);
  csha256_update(outer, digest, v.digest_size);
  v.final(outer, digest);
  // Only the MAC is held: a larger request is clamped, never over-read.
  const uint32_t n = mac_size < v.digest_size ? mac_size : v.digest_size;
  if (n != 0) {
    std::memcpy(mac, digest, n);
  }
}

// One message under a key used once: the two hashes live on the stack and
// nothing is saved for a reinit, so the cost is the four (or more)
// compressions and little else.
void mac_once(const uint8_t *key, uint32_t key_size, const uint8_t *message, uint32_t len,
              uint8_t *mac, uint32_t mac_size, const Variant &v) {
  uint8_t pad[kBlock];
  csha256_ctx inner, outer;
  inner_pad_block(key, key_size, v, pad);
  start_hash(&inner, pad, v);
  to_outer_pad(pad, pad);
  start_hash(&outer, pad, v);
  csha256_update(&inner, message, len);
  finish(&inner, &outer, mac, mac_size, v);
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
  finish(&ctx->inner, &ctx->outer, mac, mac_size, kSha256);
}

extern "C" void hmac_csha224_final(hmac_csha256_ctx *ctx, uint8_t *mac, uint32_t mac_size) {
  finish(&ctx->inner, &ctx->outer, mac, mac_size, kSha224);
}

extern "C" void hmac_csha256(const uint8_t *key, uint32_t key_size, const uint8_t *message,
                             uint32_t message_len, uint8_t *mac, uint32_t mac_size) {
  mac_once(key, key_size, message, message_len, mac, mac_size, kSha256);
}

extern "C" void hmac_csha224(const uint8_t *key, uint32_t key_size, const uint8_t *message,
                             uint32_t message_len, uint8_t *mac, uint32_t mac_size) {
  mac_once(key, key_size, message, message_len, mac, mac_size, kSha224);
}
