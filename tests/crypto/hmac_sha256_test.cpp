// HMAC-SHA-224 and HMAC-SHA-256 against RFC 4231, plus keying, reinit and
// truncation rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "crypto/aes_sha_hex.hpp"
#include "quorvel/crypto.h"

using aes_sha_test::bytes;
using aes_sha_test::to_hex;
using Bytes = std::vector<uint8_t>;

static uint32_t size32(const Bytes &v) {
  return static_cast<uint32_t>(v.size());
}

TEST(HmacSha256, Rfc4231Cases) {
  Bytes key25;
  for (uint8_t i = 1; i <= 25; ++i) key25.push_back(i);
  // Case 5 is truncated to 128 bits.
  const struct {
    Bytes key, data;
    const char *mac224, *mac256;
  } cases[] = {
      {Bytes(20, 0x0b), bytes("Hi There"),
       "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {bytes("Jefe"), bytes("what do ya want for nothing?"),
       "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {Bytes(20, 0xaa), Bytes(50, 0xdd), "7fb3cb3588c6c1f6ffa9694d7d6ad2649365b0c1f65d69d1ec8333ea",
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {key25, Bytes(50, 0xcd), "6c11506874013cac6a2abc1bb382627cec6a90d86efc012de7afec5a",
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {Bytes(20, 0x0c), bytes("Test With Truncation"), "0e2aea68a90c8d37c988bcdb9fca6fa8",
       "a3b6167473100ee06e0c796c2955552b"},
      {Bytes(131, 0xaa), bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {Bytes(131, 0xaa),
       bytes("This is a test using a larger than block-size key and a larger than block-size "
             "data. The key needs to be hashed before being used by the HMAC algorithm."),
       "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  for (const auto &c : cases)
    for (const char *want : {c.mac224, c.mac256}) {
      const auto n = static_cast<uint32_t>(std::strlen(want) / 2);
      uint8_t mac[40];
      std::memset(mac, 0xee, sizeof mac);
      (want == c.mac224 ? hmac_csha224 : hmac_csha256)(c.key.data(), size32(c.key), c.data.data(),
                                                       size32(c.data), mac, n);
      EXPECT_EQ(to_hex(mac, n + 1), want + std::string("ee"));
    }
}

TEST(HmacSha256, EmptyKeyReinitAndTruncation) {
  uint8_t mac[48];
  hmac_csha256(nullptr, 0, nullptr, 0, mac, 32);  // an empty key is never read
  EXPECT_EQ(to_hex(mac, 32), "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");

  // Reinit drops a message abandoned half-way and keys the context afresh.
  const auto key = bytes("a key that is only given once");
  const auto msg = bytes("first message, long enough to spill over one block of sixty-four bytes");
  uint8_t fresh256[32], fresh224[28];
  hmac_csha256(key.data(), size32(key), msg.data(), size32(msg), fresh256, 32);
  hmac_csha224(key.data(), size32(key), msg.data(), size32(msg), fresh224, 28);
  hmac_csha256_ctx ctx;
  hmac_csha256_init(&ctx, key.data(), size32(key));
  hmac_csha256_update(&ctx, msg.data(), 10);
  hmac_csha256_reinit(&ctx);
  hmac_csha256_update(&ctx, msg.data(), 30);
  hmac_csha256_update(&ctx, msg.data() + 30, size32(msg) - 30);
  hmac_csha256_final(&ctx, mac, 32);
  EXPECT_EQ(to_hex(mac, 32), to_hex(fresh256, 32));

  // mac_size 0 writes nothing, 16 the head; above the digest size it is clamped.
  const std::string tail(2 * sizeof mac, 'e');
  for (uint32_t size : {0u, 16u, 32u, 48u}) {
    const uint32_t written = std::min(size, 32u);
    std::memset(mac, 0xee, sizeof mac);
    hmac_csha256_reinit(&ctx);
    hmac_csha256_update(&ctx, msg.data(), size32(msg));
    hmac_csha256_final(&ctx, mac, size);
    EXPECT_EQ(to_hex(mac, sizeof mac), to_hex(fresh256, written) + tail.substr(2 * written))
        << size;
  }
  std::memset(mac, 0xee, sizeof mac);
  hmac_csha224(key.data(), size32(key), msg.data(), size32(msg), mac, 48);
  EXPECT_EQ(to_hex(mac, sizeof mac), to_hex(fresh224, 28) + tail.substr(56));
}
