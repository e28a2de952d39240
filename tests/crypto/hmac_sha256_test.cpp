// HMAC-SHA-224 and HMAC-SHA-256 against RFC 4231, plus keying, reinit and
// truncation rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/aes_sha_hex.hpp"
#include "quorvel/crypto.h"

using aes_sha_test::bytes;
using aes_sha_test::from_hex;
using aes_sha_test::to_hex;

namespace {

struct Rfc4231Case {
  std::vector<uint8_t> key, data;
  const char *mac224, *mac256;
  uint32_t mac_size224, mac_size256;
};

std::vector<Rfc4231Case> rfc4231_cases() {
  const std::string hash_key_first = "Test Using Larger Than Block-Size Key - Hash Key First";
  const std::string long_data =
      "This is a test using a larger than block-size key and a larger than block-size data. The key "
      "needs to be hashed before being used by the HMAC algorithm.";
  std::vector<uint8_t> key25;
  for (int i = 1; i <= 25; ++i) key25.push_back(static_cast<uint8_t>(i));
  return {
      {std::vector<uint8_t>(20, 0x0b), bytes("Hi There"),
       "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7", 28, 32},
      {bytes("Jefe"), bytes("what do ya want for nothing?"),
       "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843", 28, 32},
      {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
       "7fb3cb3588c6c1f6ffa9694d7d6ad2649365b0c1f65d69d1ec8333ea",
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe", 28, 32},
      {key25, std::vector<uint8_t>(50, 0xcd), "6c11506874013cac6a2abc1bb382627cec6a90d86efc012de7afec5a",
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b", 28, 32},
      {std::vector<uint8_t>(20, 0x0c), bytes("Test With Truncation"), "0e2aea68a90c8d37c988bcdb9fca6fa8",
       "a3b6167473100ee06e0c796c2955552b", 16, 16},
      {std::vector<uint8_t>(131, 0xaa), bytes(hash_key_first),
       "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54", 28, 32},
      {std::vector<uint8_t>(131, 0xaa), bytes(long_data),
       "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2", 28, 32},
  };
}

uint32_t size32(const std::vector<uint8_t> &v) { return static_cast<uint32_t>(v.size()); }

}  // namespace

TEST(HmacSha256, Rfc4231Cases) {
  int number = 1;
  for (const auto &c : rfc4231_cases()) {
    SCOPED_TRACE(number++);
    uint8_t mac[40];
    std::memset(mac, 0xee, sizeof mac);
    hmac_csha224(c.key.data(), size32(c.key), c.data.data(), size32(c.data), mac, c.mac_size224);
    EXPECT_EQ(to_hex(mac, c.mac_size224), c.mac224);
    EXPECT_EQ(mac[c.mac_size224], 0xee);
    std::memset(mac, 0xee, sizeof mac);
    hmac_csha256(c.key.data(), size32(c.key), c.data.data(), size32(c.data), mac, c.mac_size256);
    EXPECT_EQ(to_hex(mac, c.mac_size256), c.mac256);
    EXPECT_EQ(mac[c.mac_size256], 0xee);

    // Streaming byte by byte through the second names.
    hmac_csha256_ctx ctx;
    hmac_csha224_init(&ctx, c.key.data(), size32(c.key));
    for (uint8_t byte : c.data) hmac_csha224_update(&ctx, &byte, 1);
    hmac_csha224_final(&ctx, mac, 28);
    EXPECT_EQ(to_hex(mac, c.mac_size224), c.mac224);
  }
}

TEST(HmacSha256, KeyingRules) {
  hmac_csha256_ctx ctx;
  // An empty key gives pure pad blocks and is never read.
  hmac_csha256_init(&ctx, nullptr, 0);
  EXPECT_EQ(to_hex(ctx.ipad_block, 64), to_hex(std::vector<uint8_t>(64, 0x36)));
  EXPECT_EQ(to_hex(ctx.opad_block, 64), to_hex(std::vector<uint8_t>(64, 0x5c)));
  EXPECT_EQ(ctx.inner.hashed_len, 64u);
  EXPECT_EQ(ctx.inner.pending_len, 0u);
  EXPECT_EQ(std::memcmp(&ctx.inner, &ctx.inner_saved, sizeof ctx.inner), 0);
  EXPECT_EQ(std::memcmp(&ctx.outer, &ctx.outer_saved, sizeof ctx.outer), 0);

  // 64 bytes are used as they are; 65 are hashed first with the variant's own hash.
  std::vector<uint8_t> key(65);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i + 1);
  hmac_csha256_init(&ctx, key.data(), 64);
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(ctx.ipad_block[i], key[i] ^ 0x36);
    ASSERT_EQ(ctx.opad_block[i], key[i] ^ 0x5c);
  }
  struct {
    void (*init)(hmac_csha256_ctx *, const uint8_t *, uint32_t);
    void (*hash)(const uint8_t *, uint32_t, uint8_t *);
    int n;
  } variants[] = {{hmac_csha224_init, csha224, 28}, {hmac_csha256_init, csha256, 32}};
  for (const auto &v : variants) {
    uint8_t digest[32];
    v.hash(key.data(), 65, digest);
    v.init(&ctx, key.data(), 65);
    for (int i = 0; i < 64; ++i) {
      const uint8_t k = i < v.n ? digest[i] : 0;
      ASSERT_EQ(ctx.ipad_block[i], k ^ 0x36) << v.n << " " << i;
      ASSERT_EQ(ctx.opad_block[i], k ^ 0x5c) << v.n << " " << i;
    }
  }
}

TEST(HmacSha256, ReinitAndTruncation) {
  const auto key = bytes("a key that is only given once");
  const auto msg = bytes("first message, long enough to spill over one block of sixty-four bytes");
  uint8_t fresh[32], again[32];
  hmac_csha256(key.data(), size32(key), msg.data(), size32(msg), fresh, 32);

  hmac_csha256_ctx ctx;
  hmac_csha256_init(&ctx, key.data(), size32(key));
  hmac_csha256_update(&ctx, msg.data(), 10);  // an abandoned message
  for (int round = 0; round < 3; ++round) {
    hmac_csha224_reinit(&ctx);
    hmac_csha256_update(&ctx, msg.data(), 30);
    hmac_csha256_update(&ctx, msg.data() + 30, size32(msg) - 30);
    hmac_csha256_final(&ctx, again, 32);
    EXPECT_EQ(to_hex(again, 32), to_hex(fresh, 32)) << round;
    hmac_csha256_reinit(&ctx);
  }

  // mac_size 0 writes nothing; 16 the head; above the digest it is clamped.
  uint8_t mac[48];
  for (uint32_t size : {0u, 16u, 32u, 48u}) {
    std::memset(mac, 0xee, sizeof mac);
    hmac_csha256_reinit(&ctx);
    hmac_csha256_update(&ctx, msg.data(), size32(msg));
    hmac_csha256_final(&ctx, mac, size);
    const uint32_t written = size < 32 ? size : 32;
    EXPECT_EQ(to_hex(mac, written), to_hex(fresh, written)) << size;
    for (uint32_t i = written; i < sizeof mac; ++i) ASSERT_EQ(mac[i], 0xee) << size << " " << i;
  }
  uint8_t mac224[28];
  hmac_csha224(key.data(), size32(key), msg.data(), size32(msg), mac224, 28);
  std::memset(mac, 0xee, sizeof mac);
  hmac_csha224(key.data(), size32(key), msg.data(), size32(msg), mac, 48);
  EXPECT_EQ(to_hex(mac, 28), to_hex(mac224, 28));
  for (uint32_t i = 28; i < sizeof mac; ++i) ASSERT_EQ(mac[i], 0xee) << i;

  EXPECT_EQ(reinterpret_cast<void *>(&hmac_csha224_update), reinterpret_cast<void *>(&hmac_csha256_update));
  EXPECT_EQ(reinterpret_cast<void *>(&hmac_csha224_reinit), reinterpret_cast<void *>(&hmac_csha256_reinit));
}
