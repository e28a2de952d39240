// MD5, GetCrc32 and MurmurHash3 against published vectors, then against
// OpenSSL and zlib on random input.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes_sha_hex.hpp"
#include "quorvel/crypto.h"

#if defined(QRVL_TEST_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif
#if defined(QRVL_TEST_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace {

using aes_sha_test::to_hex;

const uint8_t *bytes(const char *s) {
  return reinterpret_cast<const uint8_t *>(s);
}

// MD5 of the first n bytes of msg fed in pieces ending at each cut.
std::string md5_split(const uint8_t *msg, size_t n, std::vector<size_t> cuts) {
  QRVL_MD5_CTX ctx;
  QRVL_MD5Init(&ctx);
  cuts.push_back(n);
  for (size_t at = 0, i = 0; i < cuts.size(); at = cuts[i++])
    QRVL_MD5Update(&ctx, msg + at, static_cast<uint32_t>(cuts[i] - at));
  uint8_t digest[16];
  QRVL_MD5Final(digest, &ctx);
  return to_hex(digest, 16);
}

TEST(Md5, Rfc1321SuiteWholeAndSplitAnywhere) {
  const struct {
    const char *msg, *digest;
  } suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto &v : suite) {
    const size_t n = std::strlen(v.msg);
    EXPECT_EQ(md5_split(bytes(v.msg), n, {}), v.digest) << v.msg;
    for (size_t a = 0; a <= n; ++a)
      for (size_t b = a; b <= n; b += 7)
        ASSERT_EQ(md5_split(bytes(v.msg), n, {a, b}), v.digest)
            << v.msg << " cuts " << a << "," << b;
  }
}

TEST(Md5, FinalClearsAndCountCarries) {
  QRVL_MD5_CTX ctx;
  QRVL_MD5Init(&ctx);
  QRVL_MD5Update(&ctx, bytes("abc"), 3);
  QRVL_MD5Update(&ctx, nullptr, 0);
  uint8_t digest[16];
  QRVL_MD5Final(digest, &ctx);
  EXPECT_EQ(to_hex(digest, 16), "900150983cd24fb0d6963f7d28e17f72");
  const QRVL_MD5_CTX zero{};
  EXPECT_EQ(std::memcmp(&ctx, &zero, sizeof ctx), 0) << "final clears every byte";

  // The 64-bit bit count carries into its high word.
  QRVL_MD5Init(&ctx);
  ctx.count[0] = 0xFFFFFE00u;
  const std::vector<uint8_t> block(64 + 5, 'x');
  QRVL_MD5Update(&ctx, block.data(), static_cast<uint32_t>(block.size()));
  EXPECT_EQ(ctx.count[0], 40u);
  EXPECT_EQ(ctx.count[1], 1u);
  EXPECT_EQ(std::memcmp(ctx.buffer, "xxxxx", 5), 0);
}

uint32_t crc_msb_bitwise(uint32_t crc, const uint8_t *p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= uint32_t{p[i]} << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

TEST(Crc32, CheckValuesModesAndPieces) {
  const uint8_t *digits = bytes("123456789");
  const uint32_t all = 0xFFFFFFFFu;
  EXPECT_EQ(GetCrc32(1, all, digits, 9) ^ all, 0xCBF43926u);
  EXPECT_EQ(GetCrc32(0, all, digits, 9), 0x0376E6E7u);
  EXPECT_EQ(GetCrc32(0, all, digits, 9) ^ all, 0xFC891918u);
  EXPECT_EQ(GetCrc32(2, 7, bytes("\xff\x01"), 2), 263u);
  // Unknown modes and empty input return crc without reading data.
  for (int32_t mode : {3, -1, 1000})
    EXPECT_EQ(GetCrc32(mode, 0x12345678u, nullptr, 100), 0x12345678u);
  for (int32_t mode : {0, 1, 2}) EXPECT_EQ(GetCrc32(mode, 0xDEADBEEFu, nullptr, 0), 0xDEADBEEFu);

  // Sliced loops against a bitwise register and a plain sum, at all lengths/alignments.
  std::mt19937 rng(1);
  std::vector<uint8_t> buf(300);
  for (auto &b : buf) b = static_cast<uint8_t>(rng());
  std::fill(buf.begin() + 100, buf.begin() + 200, 0xFF);  // sum lanes at their widest
  for (size_t off = 0; off < 16; ++off)
    for (size_t n = 0; off + n <= buf.size(); n += (n < 40 ? 1 : 13)) {
      const uint32_t seed = static_cast<uint32_t>(rng());
      const uint8_t *p = buf.data() + off;
      ASSERT_EQ(GetCrc32(0, seed, p, n), crc_msb_bitwise(seed, p, n));
      ASSERT_EQ(GetCrc32(2, seed, p, n), std::accumulate(p, p + n, seed));
    }
  // The byte sum across the lane fold (over 1024 bytes of 0xFF).
  const std::vector<uint8_t> ones(5000, 0xFF);
  EXPECT_EQ(GetCrc32(2, 0, ones.data(), 5000), 5000u * 255u);
  EXPECT_EQ(GetCrc32(2, all, ones.data(), 1), 254u) << "the sum wraps modulo 2^32";
}

// The results are native words; the published self-check was taken on a
// little-endian host, so each word is put in little-endian order first.
void words_to_little_endian(uint8_t *bytes, size_t length, size_t word) {
  if (std::endian::native == std::endian::little) return;
  for (size_t i = 0; i < length; i += word) std::reverse(bytes + i, bytes + i + word);
}

// The published self-check: hash keys 0..i-1 with seed 256 - i, hash the
// 256 results with seed 0, take the first four bytes little-endian.
template <typename Hash>
uint32_t murmur_verification(Hash hash, size_t hashbytes, size_t word) {
  uint8_t key[256], final[16];
  std::vector<uint8_t> hashes(hashbytes * 256);
  for (int i = 0; i < 256; ++i) {
    key[i] = static_cast<uint8_t>(i);
    hash(key, i, static_cast<uint32_t>(256 - i), &hashes[static_cast<size_t>(i) * hashbytes]);
  }
  words_to_little_endian(hashes.data(), hashes.size(), word);
  hash(hashes.data(), static_cast<int32_t>(hashes.size()), 0, final);
  words_to_little_endian(final, hashbytes, word);
  return uint32_t{final[0]} | uint32_t{final[1]} << 8 | uint32_t{final[2]} << 16 |
         uint32_t{final[3]} << 24;
}

uint64_t fmix64(uint64_t k) {
  k = (k ^ k >> 33) * 0xff51afd7ed558ccdull;
  k = (k ^ k >> 33) * 0xc4ceb9fe1a85ec53ull;
  return k ^ k >> 33;
}

TEST(MurmurHash3, PublishedVerificationAndEdges) {
  EXPECT_EQ(murmur_verification(MurmurHash3_x86_32, 4, 4), 0xB0F57EE3u);
  EXPECT_EQ(murmur_verification(MurmurHash3_x86_128, 16, 4), 0xB3ECE62Au);
  EXPECT_EQ(murmur_verification(MurmurHash3_x64_128, 16, 8), 0x6384BA69u);
  uint32_t h32;
  const char *fox = "The quick brown fox jumps over the lazy dog";
  MurmurHash3_x86_32(fox, static_cast<int32_t>(std::strlen(fox)), 0x9747b28cu, &h32);
  EXPECT_EQ(h32, 0x2FA826CDu);

  // Negative lengths hash as the empty key; a top-bit seed is not sign-extended.
  const uint64_t a = fmix64(2 * 0x80000000ull), b = fmix64(3 * 0x80000000ull);
  for (int32_t len : {0, -1, -100}) {
    uint32_t h128[4] = {1, 1, 1, 1};
    uint64_t h64[2] = {1, 1};
    const char *key = len == 0 ? "" : nullptr;
    h32 = 1;
    MurmurHash3_x86_32(key, len, 0, &h32);
    MurmurHash3_x86_128(key, len, 0, h128);
    MurmurHash3_x64_128(key, len, 0, h64);
    EXPECT_EQ(h32 | h128[0] | h128[1] | h128[2] | h128[3], 0u) << len;
    EXPECT_EQ(h64[0] | h64[1], 0u) << len;
    MurmurHash3_x86_32(key, len, 1, &h32);
    EXPECT_EQ(h32, 0x514E28B7u) << len;
    MurmurHash3_x64_128(key, len, 0x80000000u, h64);
    EXPECT_EQ(h64[0], a + b) << len;
    EXPECT_EQ(h64[1], a + 2 * b) << len;
  }
}

#if defined(QRVL_TEST_HAVE_OPENSSL)
TEST(Md5, MatchesOpenSslOnRandomMessagesAndSplits) {
  std::mt19937_64 rng(20261205);
  std::vector<uint8_t> msg(4096);
  // Every length up to 200 (all fill levels, 55/56 padding edge), then random ones.
  for (int round = 0; round < 3000; ++round) {
    const size_t n = round < 200 ? static_cast<size_t>(round) : rng() % 4097;
    for (size_t i = 0; i < n; ++i) msg[i] = static_cast<uint8_t>(rng());
    uint8_t want[16];
    unsigned int want_len = 0;
    ASSERT_EQ(EVP_Digest(msg.data(), n, want, &want_len, EVP_md5(), nullptr), 1);
    std::vector<size_t> cuts;
    for (size_t at = 0; at < n; cuts.push_back(at))
      at = std::min(n, at + (rng() % 4 == 0 ? rng() % (n - at + 1) : rng() % 130));
    ASSERT_EQ(md5_split(msg.data(), n, cuts), to_hex(want, want_len)) << "length " << n;
  }
}
#endif

#if defined(QRVL_TEST_HAVE_ZLIB)
TEST(Crc32, ReflectedModeMatchesZlibOnRandomInput) {
  std::mt19937_64 rng(7);
  std::vector<uint8_t> msg(4096 + 16);
  for (int round = 0; round < 3000; ++round) {
    const size_t n = rng() % 4097, off = rng() % 16;
    for (size_t i = 0; i < n; ++i) msg[off + i] = static_cast<uint8_t>(rng());
    const uint32_t start = round % 2 ? 0 : static_cast<uint32_t>(rng());
    const uLong want = crc32(start, msg.data() + off, static_cast<uInt>(n));
    uint32_t run = ~start;
    for (size_t at = 0; at < n;) {
      const size_t take = std::min<size_t>(rng() % 600, n - at);
      run = GetCrc32(1, run, msg.data() + off + at, static_cast<uint32_t>(take));
      at += take;
    }
    ASSERT_EQ(~run, static_cast<uint32_t>(want)) << "length " << n << " round " << round;
  }
}
#endif

}  // namespace
