// MD5, GetCrc32 and MurmurHash3 against published vectors, then against
// OpenSSL and zlib on random input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/hash_kernels.hpp"
#include "quorvel/crypto.h"

#if defined(QRVL_TEST_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif
#if defined(QRVL_TEST_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace {

std::string hex(const uint8_t *p, size_t n) {
  std::string s;
  char b[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", p[i]);
    s += b;
  }
  return s;
}

const uint8_t *bytes(const char *s) {
  return reinterpret_cast<const uint8_t *>(s);
}

std::string md5_split(const std::string &msg, const std::vector<size_t> &cuts) {
  QRVL_MD5_CTX ctx;
  QRVL_MD5Init(&ctx);
  size_t at = 0;
  for (size_t cut : cuts) {
    QRVL_MD5Update(&ctx, bytes(msg.data()) + at, static_cast<uint32_t>(cut - at));
    at = cut;
  }
  QRVL_MD5Update(&ctx, bytes(msg.data()) + at, static_cast<uint32_t>(msg.size() - at));
  uint8_t digest[16];
  QRVL_MD5Final(digest, &ctx);
  return hex(digest, 16);
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
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto &v : suite) {
    const std::string msg = v.msg;
    EXPECT_EQ(md5_split(msg, {}), v.digest) << msg;
    for (size_t a = 0; a <= msg.size(); ++a) {
      ASSERT_EQ(md5_split(msg, {a}), v.digest) << msg << " cut at " << a;
      for (size_t b = a; b <= msg.size(); b += 7)
        ASSERT_EQ(md5_split(msg, {a, b}), v.digest) << msg << " cuts " << a << "," << b;
    }
  }
}

TEST(Md5, ContextRecordLayoutAndClearing) {
  QRVL_MD5_CTX ctx;
  std::memset(&ctx, 0xAA, sizeof ctx);
  QRVL_MD5Init(&ctx);
  EXPECT_EQ(ctx.state[0], 0x67452301u);
  EXPECT_EQ(ctx.state[1], 0xefcdab89u);
  EXPECT_EQ(ctx.state[2], 0x98badcfeu);
  EXPECT_EQ(ctx.state[3], 0x10325476u);
  EXPECT_EQ(ctx.count[0], 0u);
  EXPECT_EQ(ctx.count[1], 0u);
  EXPECT_EQ(ctx.buffer[0], 0xAA) << "init leaves the buffer alone";

  // Bytes short of a block wait in the buffer; the state is untouched.
  QRVL_MD5Update(&ctx, bytes("abc"), 3);
  EXPECT_EQ(ctx.count[0], 24u);
  EXPECT_EQ(std::memcmp(ctx.buffer, "abc", 3), 0);
  EXPECT_EQ(ctx.state[0], 0x67452301u);
  QRVL_MD5Update(&ctx, nullptr, 0);
  EXPECT_EQ(ctx.count[0], 24u);

  uint8_t digest[16];
  QRVL_MD5Final(digest, &ctx);
  EXPECT_EQ(hex(digest, 16), "900150983cd24fb0d6963f7d28e17f72");
  const QRVL_MD5_CTX zero{};
  EXPECT_EQ(std::memcmp(&ctx, &zero, sizeof ctx), 0) << "final clears every byte";

  // The 64-bit bit count carries into its high word, and the padding
  // encodes both words.
  QRVL_MD5Init(&ctx);
  ctx.count[0] = 0xFFFFFE00u;
  std::vector<uint8_t> block(64 + 5, 'x');
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
  EXPECT_EQ(GetCrc32(1, 0xFFFFFFFFu, digits, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
  EXPECT_EQ(GetCrc32(1, GetCrc32(1, 0xFFFFFFFFu, digits, 4), digits + 4, 5) ^ 0xFFFFFFFFu,
            0xCBF43926u);
  EXPECT_EQ(GetCrc32(0, 0xFFFFFFFFu, digits, 9), 0x0376E6E7u);
  EXPECT_EQ(GetCrc32(0, 0xFFFFFFFFu, digits, 9) ^ 0xFFFFFFFFu, 0xFC891918u);
  EXPECT_EQ(GetCrc32(0, GetCrc32(0, 0xFFFFFFFFu, digits, 2), digits + 2, 7), 0x0376E6E7u);

  const uint8_t ff01[] = {0xFF, 0x01};
  EXPECT_EQ(GetCrc32(2, 7, ff01, 2), 263u);

  // Unknown modes and empty input return crc without reading data.
  for (int32_t mode : {3, -1, 1000})
    EXPECT_EQ(GetCrc32(mode, 0x12345678u, nullptr, 100), 0x12345678u);
  for (int32_t mode : {0, 1, 2}) EXPECT_EQ(GetCrc32(mode, 0xDEADBEEFu, nullptr, 0), 0xDEADBEEFu);

  // The sliced loops against the one-bit-at-a-time register and a plain
  // sum, at every length and alignment around the 16-byte steps.
  std::mt19937 rng(1);
  std::vector<uint8_t> buf(300);
  for (auto &b : buf) b = static_cast<uint8_t>(rng());
  std::fill(buf.begin() + 100, buf.begin() + 200, 0xFF);  // sum lanes at their widest
  for (size_t off = 0; off < 16; ++off)
    for (size_t n = 0; off + n <= buf.size(); n += (n < 40 ? 1 : 13)) {
      const uint32_t seed = static_cast<uint32_t>(rng());
      ASSERT_EQ(GetCrc32(0, seed, buf.data() + off, n), crc_msb_bitwise(seed, buf.data() + off, n));
      uint32_t sum = seed;
      for (size_t i = 0; i < n; ++i) sum += buf[off + i];
      ASSERT_EQ(GetCrc32(2, seed, buf.data() + off, n), sum);
    }
  // The byte sum across the lane fold (over 1024 bytes of 0xFF).
  std::vector<uint8_t> ones(5000, 0xFF);
  EXPECT_EQ(GetCrc32(2, 0, ones.data(), 5000), 5000u * 255u);
  EXPECT_EQ(GetCrc32(2, 0xFFFFFFFFu, ones.data(), 1), 254u) << "the sum wraps modulo 2^32";
}

// The published self-check: hash keys 0..i-1 with seed 256 - i, hash the
// 256 results with seed 0, take the first four bytes little-endian.
template <typename Hash>
uint32_t murmur_verification(Hash hash, size_t hashbytes) {
  uint8_t key[256];
  std::vector<uint8_t> hashes(hashbytes * 256);
  for (int i = 0; i < 256; ++i) {
    key[i] = static_cast<uint8_t>(i);
    hash(key, i, static_cast<uint32_t>(256 - i), &hashes[static_cast<size_t>(i) * hashbytes]);
  }
  uint8_t final[16];
  hash(hashes.data(), static_cast<int32_t>(hashes.size()), 0, final);
  return uint32_t{final[0]} | uint32_t{final[1]} << 8 | uint32_t{final[2]} << 16 |
         uint32_t{final[3]} << 24;
}

uint64_t fmix64(uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdull;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ull;
  k ^= k >> 33;
  return k;
}

TEST(MurmurHash3, PublishedVerificationAndEdges) {
  EXPECT_EQ(murmur_verification(MurmurHash3_x86_32, 4), 0xB0F57EE3u);
  EXPECT_EQ(murmur_verification(MurmurHash3_x86_128, 16), 0xB3ECE62Au);
  EXPECT_EQ(murmur_verification(MurmurHash3_x64_128, 16), 0x6384BA69u);

  uint32_t h32 = 1;
  uint32_t h128[4] = {1, 1, 1, 1};
  uint64_t h64[2] = {1, 1};
  MurmurHash3_x86_32("", 0, 0, &h32);
  MurmurHash3_x86_128("", 0, 0, h128);
  MurmurHash3_x64_128("", 0, 0, h64);
  EXPECT_EQ(h32, 0u);
  EXPECT_EQ(h128[0] | h128[1] | h128[2] | h128[3], 0u);
  EXPECT_EQ(h64[0] | h64[1], 0u);

  MurmurHash3_x86_32("", 0, 1, &h32);
  EXPECT_EQ(h32, 0x514E28B7u);
  const char *fox = "The quick brown fox jumps over the lazy dog";
  MurmurHash3_x86_32(fox, static_cast<int32_t>(std::strlen(fox)), 0x9747b28cu, &h32);
  EXPECT_EQ(h32, 0x2FA826CDu);

  // Empty key, seed with the top bit set: both lanes start at
  // 0x0000000080000000, so h1 = fmix(2s) + fmix(3s), h2 = h1 + fmix(3s).
  MurmurHash3_x64_128("", 0, 0x80000000u, h64);
  const uint64_t s = 0x80000000ull;
  const uint64_t a = fmix64(2 * s), b = fmix64(3 * s);
  EXPECT_EQ(h64[0], a + b);
  EXPECT_EQ(h64[1], a + 2 * b);

  // Negative lengths hash as the empty key and read nothing.
  uint32_t neg[4];
  MurmurHash3_x86_32(nullptr, -5, 0, neg);
  EXPECT_EQ(neg[0], 0u);
  MurmurHash3_x86_128(nullptr, -1, 0, neg);
  EXPECT_EQ(neg[0] | neg[1] | neg[2] | neg[3], 0u);
  MurmurHash3_x64_128(nullptr, -100, 0x80000000u, neg);
  EXPECT_EQ(std::memcmp(neg, h64, 16), 0);
}

#if defined(QRVL_TEST_HAVE_OPENSSL)
TEST(Md5, MatchesOpenSslOnRandomMessagesAndSplits) {
  std::mt19937_64 rng(20261205);
  std::vector<uint8_t> msg(4096);
  EVP_MD_CTX *ref = EVP_MD_CTX_new();
  ASSERT_NE(ref, nullptr);
  // Every length up to 200 first: all buffer fill levels, including the
  // 55/56 padding boundary, then random lengths.
  for (int round = 0; round < 3000; ++round) {
    const size_t n = round < 200 ? static_cast<size_t>(round) : rng() % 4097;
    for (size_t i = 0; i < n; ++i) msg[i] = static_cast<uint8_t>(rng());
    uint8_t want[16];
    unsigned int want_len = 0;
    ASSERT_EQ(EVP_DigestInit_ex(ref, EVP_md5(), nullptr), 1);
    ASSERT_EQ(EVP_DigestUpdate(ref, msg.data(), n), 1);
    ASSERT_EQ(EVP_DigestFinal_ex(ref, want, &want_len), 1);

    QRVL_MD5_CTX ctx;
    QRVL_MD5Init(&ctx);
    size_t at = 0;
    while (at < n) {
      const size_t piece = rng() % 4 == 0 ? rng() % (n - at + 1) : rng() % 130;
      const size_t take = piece < n - at ? piece : n - at;
      QRVL_MD5Update(&ctx, msg.data() + at, static_cast<uint32_t>(take));
      at += take;
    }
    uint8_t got[16];
    QRVL_MD5Final(got, &ctx);
    ASSERT_EQ(hex(got, 16), hex(want, want_len)) << "length " << n << " round " << round;
  }
  EVP_MD_CTX_free(ref);
}
#endif

#if defined(QRVL_TEST_HAVE_ZLIB)
TEST(Crc32, ReflectedModeMatchesZlibOnRandomInput) {
  std::mt19937_64 rng(7);
  std::vector<uint8_t> msg(4096 + 16);
  for (int round = 0; round < 3000; ++round) {
    const size_t n = rng() % 4097;
    const size_t off = rng() % 16;
    for (size_t i = 0; i < n; ++i) msg[off + i] = static_cast<uint8_t>(rng());
    const uint32_t start = round % 2 ? 0 : static_cast<uint32_t>(rng());
    const uLong want = crc32(start, msg.data() + off, static_cast<uInt>(n));
    uint32_t run = ~start;
    size_t at = 0;
    while (at < n) {
      const size_t take = std::min<size_t>(rng() % 600, n - at);
      run = GetCrc32(1, run, msg.data() + off + at, static_cast<uint32_t>(take));
      at += take;
    }
    ASSERT_EQ(~run, static_cast<uint32_t>(want)) << "length " << n << " round " << round;
  }
}
#endif

}  // namespace
