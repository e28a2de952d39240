// SHA-224 and SHA-256 against the FIPS 180-4 examples, plus the streaming,
// padding and 32-bit length rules of the context.
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

const std::string kTwoBlock = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string kLong =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
    "mnopqrstnopqrstu";

std::string sha256_hex(const std::vector<uint8_t> &m) {
  uint8_t d[32];
  csha256(m.data(), static_cast<uint32_t>(m.size()), d);
  return to_hex(d, 32);
}

std::string sha224_hex(const std::vector<uint8_t> &m) {
  uint8_t d[28];
  csha224(m.data(), static_cast<uint32_t>(m.size()), d);
  return to_hex(d, 28);
}

// Feeds m in the given piece sizes (cycled) through one context.
std::string streamed(const std::vector<uint8_t> &m, const std::vector<uint32_t> &pieces, bool is224) {
  csha256_ctx ctx;
  is224 ? csha224_init(&ctx) : csha256_init(&ctx);
  size_t off = 0;
  for (size_t i = 0; off < m.size(); ++i) {
    uint32_t n = pieces[i % pieces.size()];
    if (n > m.size() - off) n = static_cast<uint32_t>(m.size() - off);
    (is224 ? csha224_update : csha256_update)(&ctx, m.data() + off, n);
    off += n;
  }
  uint8_t d[32];
  if (is224) {
    csha224_final(&ctx, d);
    return to_hex(d, 28);
  }
  csha256_final(&ctx, d);
  return to_hex(d, 32);
}

}  // namespace

TEST(Sha256, Fips180Examples) {
  EXPECT_EQ(sha256_hex(bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex(bytes(kTwoBlock)), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256_hex(bytes(kLong)), "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  EXPECT_EQ(sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha224_hex(bytes("abc")), "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7");
  EXPECT_EQ(sha224_hex(bytes(kTwoBlock)), "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525");
  EXPECT_EQ(sha224_hex(bytes(kLong)), "c97ca9a559850ce97a04a96def6d99a9e0e0e2ab14e6b8df265fc0b3");
  EXPECT_EQ(sha224_hex({}), "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f");
  uint8_t d[32];
  csha256(nullptr, 0, d);  // an empty message need not point anywhere
  EXPECT_EQ(to_hex(d, 32), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Sha256, MillionAInUnevenPieces) {
  const std::vector<uint8_t> m(1000000, 'a');
  const std::vector<uint32_t> uneven = {1, 63, 64, 65, 0, 127, 3, 1000, 55, 9, 4096, 0, 17};
  EXPECT_EQ(streamed(m, uneven, false), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(streamed(m, uneven, true), "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67");
  EXPECT_EQ(sha256_hex(m), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, AnySplitGivesTheSameDigest) {
  std::vector<uint8_t> m(300);
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 37 + 11);
  for (size_t len : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 129, 300}) {
    const std::vector<uint8_t> part(m.begin(), m.begin() + len);
    const std::string whole = sha256_hex(part);
    const std::string whole224 = sha224_hex(part);
    for (const auto &pieces : std::vector<std::vector<uint32_t>>{
             {1}, {63, 1}, {64, 64, 1}, {0, 5, 0, 59}, {200}, {7, 130}}) {
      EXPECT_EQ(streamed(part, pieces, false), whole) << len;
      EXPECT_EQ(streamed(part, pieces, true), whole224) << len;
    }
  }
}

TEST(Sha256, ContextCountersAndClosingBlocks) {
  std::vector<uint8_t> m(200, 0x61);
  csha256_ctx ctx;
  std::memset(&ctx, 0xcd, sizeof ctx);
  csha256_init(&ctx);
  EXPECT_EQ(ctx.hashed_len, 0u);
  EXPECT_EQ(ctx.pending_len, 0u);
  EXPECT_EQ(ctx.buffer[0], 0xcd);  // init leaves the buffer alone
  EXPECT_EQ(ctx.state[0], 0x6a09e667u);
  csha256_update(&ctx, m.data(), 10);
  EXPECT_EQ(ctx.hashed_len, 0u);
  EXPECT_EQ(ctx.pending_len, 10u);
  csha256_update(&ctx, m.data(), 150);  // fills the pending block, 1 whole block, 32 left
  EXPECT_EQ(ctx.hashed_len, 128u);
  EXPECT_EQ(ctx.pending_len, 32u);
  csha224_init(&ctx);
  EXPECT_EQ(ctx.state[0], 0xc1059ed8u);

  // 55 pending bytes close in one block, 56 need a second: the second
  // block's length field shows where the bit count went.
  for (uint32_t pending : {55u, 56u}) {
    csha256_init(&ctx);
    csha256_update(&ctx, m.data(), 64 + pending);
    uint8_t d[32];
    csha256_final(&ctx, d);
    // 119 bytes are 0x3b8 bits, 120 bytes 0x3c0.
    const size_t field = pending == 55 ? 56 : 120;
    EXPECT_EQ(to_hex(ctx.buffer + field, 8), pending == 55 ? "00000000000003b8" : "00000000000003c0");
    EXPECT_EQ(ctx.buffer[pending], 0x80);
    EXPECT_EQ(ctx.hashed_len, 64u);  // final leaves the counters
    EXPECT_EQ(ctx.pending_len, pending);
  }
}

TEST(Sha256, Sha224WritesTwentyEightBytes) {
  uint8_t d[32];
  std::memset(d, 0xee, sizeof d);
  csha256_ctx ctx;
  csha224_init(&ctx);
  csha224_update(&ctx, reinterpret_cast<const uint8_t *>("abc"), 3);
  csha224_final(&ctx, d);
  EXPECT_EQ(to_hex(d, 32), "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7eeeeeeee");
  std::memset(d, 0xee, sizeof d);
  csha224(reinterpret_cast<const uint8_t *>("abc"), 3, d);
  EXPECT_EQ(d[28], 0xee);
  // One function, two names.
  EXPECT_EQ(reinterpret_cast<void *>(&csha224_update), reinterpret_cast<void *>(&csha256_update));
}

TEST(Sha256, LengthFieldIsThirtyTwoBits) {
  // A context that has counted 2^29 more bytes carries the same bit count
  // modulo 2^32, so it closes to the same digest.
  std::vector<uint8_t> m(100, 0x42);
  csha256_ctx a, b;
  csha256_init(&a);
  csha256_update(&a, m.data(), 100);
  b = a;
  b.hashed_len += 1u << 29;
  uint8_t da[32], db[32];
  csha256_final(&a, da);
  csha256_final(&b, db);
  EXPECT_EQ(to_hex(da, 32), to_hex(db, 32));
  // Whereas 2^28 more changes the length field.
  csha256_init(&a);
  csha256_update(&a, m.data(), 100);
  b = a;
  b.hashed_len += 1u << 28;
  csha256_final(&a, da);
  csha256_final(&b, db);
  EXPECT_NE(to_hex(da, 32), to_hex(db, 32));
}
