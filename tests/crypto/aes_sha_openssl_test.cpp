// Differential tests: thousands of random messages, keys and update splits,
// every result equal to OpenSSL's libcrypto (used here as an oracle only).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "quorvel/crypto.h"

#if defined(QRVL_TEST_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace {

std::vector<uint8_t> random_bytes(std::mt19937 &rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto &b : v) b = static_cast<uint8_t>(rng());
  return v;
}

uint32_t pick(std::mt19937 &rng, uint32_t lo, uint32_t hi) {
  return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
}

std::vector<uint8_t> openssl_digest(const EVP_MD *md, const std::vector<uint8_t> &m) {
  std::vector<uint8_t> out(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  EXPECT_EQ(EVP_Digest(m.data(), m.size(), out.data(), &n, md, nullptr), 1);
  out.resize(n);
  return out;
}

std::vector<uint8_t> openssl_hmac(const EVP_MD *md, const std::vector<uint8_t> &key,
                                  const std::vector<uint8_t> &m) {
  static const uint8_t empty = 0;
  std::vector<uint8_t> out(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  EXPECT_NE(HMAC(md, key.empty() ? &empty : key.data(), static_cast<int>(key.size()), m.data(), m.size(),
                 out.data(), &n),
            nullptr);
  out.resize(n);
  return out;
}

std::vector<uint8_t> openssl_cipher(const EVP_CIPHER *cipher, bool encrypt, const std::vector<uint8_t> &key,
                                    const uint8_t *iv, const std::vector<uint8_t> &in) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  std::vector<uint8_t> out(in.size() + 32);
  int n = 0, tail = 0;
  EXPECT_EQ(EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv, encrypt ? 1 : 0), 1);
  EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())), 1);
  EXPECT_EQ(EVP_CipherFinal_ex(ctx, out.data() + n, &tail), 1);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(n + tail));
  return out;
}

// Absorbs m through update calls of random sizes (zero-length ones too).
template <typename Ctx, typename Update>
void random_split(std::mt19937 &rng, Ctx *ctx, Update update, const std::vector<uint8_t> &m) {
  size_t off = 0;
  while (off < m.size()) {
    const uint32_t limit = pick(rng, 0, 3) == 0 ? 8 : 300;
    uint32_t n = pick(rng, 0, limit);
    if (n > m.size() - off) n = static_cast<uint32_t>(m.size() - off);
    update(ctx, m.data() + off, n);
    off += n;
  }
}

}  // namespace

TEST(AesShaOpenssl, Sha224AndSha256) {
  std::mt19937 rng(20261205);
  for (int iter = 0; iter < 3000; ++iter) {
    const auto m = random_bytes(rng, pick(rng, 0, 4096));
    SCOPED_TRACE(m.size());
    uint8_t one[32], split[32];
    csha256(m.data(), static_cast<uint32_t>(m.size()), one);
    csha256_ctx ctx;
    csha256_init(&ctx);
    random_split(rng, &ctx, csha256_update, m);
    csha256_final(&ctx, split);
    const auto want256 = openssl_digest(EVP_sha256(), m);
    ASSERT_EQ(std::vector<uint8_t>(one, one + 32), want256);
    ASSERT_EQ(std::vector<uint8_t>(split, split + 32), want256);

    csha224(m.data(), static_cast<uint32_t>(m.size()), one);
    csha224_init(&ctx);
    random_split(rng, &ctx, csha224_update, m);
    csha224_final(&ctx, split);
    const auto want224 = openssl_digest(EVP_sha224(), m);
    ASSERT_EQ(std::vector<uint8_t>(one, one + 28), want224);
    ASSERT_EQ(std::vector<uint8_t>(split, split + 28), want224);
  }
}

TEST(AesShaOpenssl, Hmac) {
  std::mt19937 rng(4231);
  for (int iter = 0; iter < 2000; ++iter) {
    const auto key = random_bytes(rng, pick(rng, 0, 3) == 0 ? pick(rng, 60, 200) : pick(rng, 0, 64));
    const auto m = random_bytes(rng, pick(rng, 0, 4096));
    SCOPED_TRACE(testing::Message() << key.size() << " " << m.size());
    const uint32_t ks = static_cast<uint32_t>(key.size());
    const auto want256 = openssl_hmac(EVP_sha256(), key, m);
    const auto want224 = openssl_hmac(EVP_sha224(), key, m);

    uint8_t mac[32];
    hmac_csha256(key.data(), ks, m.data(), static_cast<uint32_t>(m.size()), mac, 32);
    ASSERT_EQ(std::vector<uint8_t>(mac, mac + 32), want256);
    hmac_csha224(key.data(), ks, m.data(), static_cast<uint32_t>(m.size()), mac, 28);
    ASSERT_EQ(std::vector<uint8_t>(mac, mac + 28), want224);

    // Streamed, then again after reinit with a different split.
    hmac_csha256_ctx ctx;
    hmac_csha256_init(&ctx, key.data(), ks);
    for (int pass = 0; pass < 2; ++pass) {
      random_split(rng, &ctx, hmac_csha256_update, m);
      hmac_csha256_final(&ctx, mac, 32);
      ASSERT_EQ(std::vector<uint8_t>(mac, mac + 32), want256) << pass;
      hmac_csha256_reinit(&ctx);
    }
    hmac_csha224_init(&ctx, key.data(), ks);
    random_split(rng, &ctx, hmac_csha224_update, m);
    hmac_csha224_final(&ctx, mac, 28);
    ASSERT_EQ(std::vector<uint8_t>(mac, mac + 28), want224);
  }
}

TEST(AesShaOpenssl, AesEcbAndCbcWithPadding) {
  std::mt19937 rng(197);
  const EVP_CIPHER *ecb[] = {EVP_aes_128_ecb(), EVP_aes_192_ecb(), EVP_aes_256_ecb()};
  const EVP_CIPHER *cbc[] = {EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()};
  for (int iter = 0; iter < 2000; ++iter) {
    const int size = pick(rng, 0, 2);
    const auto key = random_bytes(rng, 16 + 8 * static_cast<size_t>(size));
    const auto iv = random_bytes(rng, 16);
    const auto m = random_bytes(rng, pick(rng, 1, 4096));
    SCOPED_TRACE(testing::Message() << key.size() << " " << m.size());
    CAesKeyPair keys;
    ASSERT_EQ(CAesKeyInit(key.data(), static_cast<uint32_t>(key.size()), 128 + 64 * size, &keys), 0);
    const uint32_t len = static_cast<uint32_t>(m.size());
    const uint32_t total = (len / 16 + 1) * 16;

    std::vector<uint8_t> out(total), back(total);
    ASSERT_EQ(CAesEncrypt(m.data(), len, out.data(), total, &keys), total);
    ASSERT_EQ(out, openssl_cipher(ecb[size], true, key, nullptr, m));
    ASSERT_EQ(CAesDecrypt(out.data(), total, back.data(), total, &keys), len);
    back.resize(len);
    ASSERT_EQ(back, m);

    std::vector<uint8_t> in(m);
    in.resize(total);
    back.assign(total, 0);
    ASSERT_EQ(CAesCbcEncrypt(in.data(), len, iv.data(), 16, out.data(), total, &keys), total);
    ASSERT_EQ(out, openssl_cipher(cbc[size], true, key, iv.data(), m));
    ASSERT_EQ(CAesCbcDecrypt(out.data(), total, iv.data(), 16, back.data(), total, &keys), len);
    back.resize(len);
    ASSERT_EQ(back, openssl_cipher(cbc[size], false, key, iv.data(), out));
    ASSERT_EQ(back, m);
  }
}

#else

TEST(AesShaOpenssl, NeedsLibcrypto) { GTEST_SKIP() << "OpenSSL libcrypto not found"; }

#endif
