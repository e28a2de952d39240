// SHA-224 and SHA-256 against the FIPS 180-4 examples, plus the streaming,
// padding and 32-bit length rules of the context.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "crypto/aes_sha_hex.hpp"
#include "quorvel/crypto.h"

using aes_sha_test::bytes;
using aes_sha_test::to_hex;

namespace {

// The digest of m in hex and the four bytes after it, which must stay 0xee.
// Empty pieces mean the one-shot call; otherwise m is fed in those piece
// sizes, cycled, through one context.
std::string digest(const std::vector<uint8_t> &m, bool is224, const std::vector<uint32_t> &pieces) {
  uint8_t d[36];
  std::memset(d, 0xee, sizeof d);
  if (pieces.empty()) {
    (is224 ? csha224 : csha256)(m.data(), static_cast<uint32_t>(m.size()), d);
  } else {
    csha256_ctx ctx;
    is224 ? csha224_init(&ctx) : csha256_init(&ctx);
    for (size_t i = 0, off = 0; off < m.size(); ++i) {
      const auto n =
          static_cast<uint32_t>(std::min<size_t>(pieces[i % pieces.size()], m.size() - off));
      (is224 ? csha224_update : csha256_update)(&ctx, m.data() + off, n);
      off += n;
    }
    (is224 ? csha224_final : csha256_final)(&ctx, d);
  }
  return to_hex(d, is224 ? 32 : 36);
}

}  // namespace

TEST(Sha256, Fips180ExamplesWholeAndInUnevenPieces) {
  const struct {
    std::string msg;
    const char *sha256, *sha224;
  } cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
       "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
       "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
       "lmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
       "c97ca9a559850ce97a04a96def6d99a9e0e0e2ab14e6b8df265fc0b3"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
       "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
       "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67"},
  };
  const std::vector<uint32_t> whole, uneven = {1, 63, 64, 65, 0, 127, 3, 1000, 55, 9, 4096, 0, 17};
  for (const auto &c : cases)
    for (bool is224 : {false, true})
      for (const auto *pieces : {&whole, &uneven})
        EXPECT_EQ(digest(bytes(c.msg), is224, *pieces),
                  (is224 ? c.sha224 : c.sha256) + std::string(8, 'e'))
            << c.msg.size() << (is224 ? " SHA-224 " : " SHA-256 ") << pieces->size();
  uint8_t d[32];
  csha256(nullptr, 0, d);  // an empty message need not point anywhere
  EXPECT_EQ(to_hex(d, 32), cases[3].sha256);
}

TEST(Sha256, LengthFieldIsThirtyTwoBits) {
  // 2^29 more bytes are the same bit count modulo 2^32; 2^28 are not.
  const std::vector<uint8_t> m(100, 0x42);
  auto with_extra = [&](uint32_t extra) {
    csha256_ctx ctx;
    csha256_init(&ctx);
    csha256_update(&ctx, m.data(), 100);
    ctx.hashed_len += extra;
    uint8_t d[32];
    csha256_final(&ctx, d);
    return to_hex(d, 32);
  };
  EXPECT_EQ(with_extra(1u << 29), with_extra(0));
  EXPECT_NE(with_extra(1u << 28), with_extra(0));
}
