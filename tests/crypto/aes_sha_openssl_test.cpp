// Differential tests: thousands of random messages, keys and update splits,
// every result equal to OpenSSL's libcrypto (used here as an oracle only).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "quorvel/crypto.h"

#if defined(QRVL_TEST_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes random_bytes(std::mt19937 &rng, size_t n) {
  Bytes v(n);
  for (auto &b : v) b = static_cast<uint8_t>(rng());
  return v;
}

uint32_t pick(std::mt19937 &rng, uint32_t lo, uint32_t hi) {
  return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
}

Bytes openssl_hmac(const EVP_MD *md, const Bytes &key, const Bytes &m) {
  static const uint8_t empty = 0;
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  EXPECT_NE(HMAC(md, key.empty() ? &empty : key.data(), static_cast<int>(key.size()), m.data(),
                 m.size(), out.data(), &n),
            nullptr);
  out.resize(n);
  return out;
}

Bytes openssl_cipher(const EVP_CIPHER *cipher, bool encrypt, const Bytes &key, const uint8_t *iv,
                     const Bytes &in) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 32);
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
void random_split(std::mt19937 &rng, Ctx *ctx, Update update, const Bytes &m) {
  for (size_t off = 0; off < m.size();) {
    const uint32_t n = std::min(pick(rng, 0, pick(rng, 0, 3) == 0 ? 8 : 300),
                                static_cast<uint32_t>(m.size() - off));
    update(ctx, m.data() + off, n);
    off += n;
  }
}

}  // namespace

TEST(AesShaOpenssl, Sha224AndSha256) {
  std::mt19937 rng(20261205);
  for (int iter = 0; iter < 3000; ++iter) {
    const Bytes m = random_bytes(rng, pick(rng, 0, 4096));
    const auto n = static_cast<uint32_t>(m.size());
    SCOPED_TRACE(n);
    for (bool is224 : {false, true}) {
      Bytes one(32), split(32), want(32);  // SHA-224 leaves the last four bytes 0
      csha256_ctx ctx;
      (is224 ? csha224 : csha256)(m.data(), n, one.data());
      is224 ? csha224_init(&ctx) : csha256_init(&ctx);
      random_split(rng, &ctx, is224 ? csha224_update : csha256_update, m);
      (is224 ? csha224_final : csha256_final)(&ctx, split.data());
      (is224 ? SHA224 : SHA256)(m.data(), m.size(), want.data());
      ASSERT_EQ(one, want) << is224;
      ASSERT_EQ(split, want) << is224;
    }
  }
}

TEST(AesShaOpenssl, Hmac) {
  std::mt19937 rng(4231);
  for (int iter = 0; iter < 2000; ++iter) {
    const Bytes key =
        random_bytes(rng, pick(rng, 0, 3) == 0 ? pick(rng, 60, 200) : pick(rng, 0, 64));
    const Bytes m = random_bytes(rng, pick(rng, 0, 4096));
    SCOPED_TRACE(testing::Message() << key.size() << " " << m.size());
    const auto ks = static_cast<uint32_t>(key.size()), ms = static_cast<uint32_t>(m.size());
    for (bool is224 : {false, true}) {
      const Bytes want = openssl_hmac(is224 ? EVP_sha224() : EVP_sha256(), key, m);
      const uint32_t size = is224 ? 28 : 32;
      Bytes mac(size);
      (is224 ? hmac_csha224 : hmac_csha256)(key.data(), ks, m.data(), ms, mac.data(), size);
      ASSERT_EQ(mac, want) << is224;
      // Streamed, then again after reinit with a different split.
      hmac_csha256_ctx ctx;
      (is224 ? hmac_csha224_init : hmac_csha256_init)(&ctx, key.data(), ks);
      for (int pass = 0; pass < 2; ++pass) {
        random_split(rng, &ctx, is224 ? hmac_csha224_update : hmac_csha256_update, m);
        (is224 ? hmac_csha224_final : hmac_csha256_final)(&ctx, mac.data(), size);
        ASSERT_EQ(mac, want) << is224 << " pass " << pass;
        (is224 ? hmac_csha224_reinit : hmac_csha256_reinit)(&ctx);
      }
    }
  }
}

TEST(AesShaOpenssl, AesEcbAndCbcWithPadding) {
  std::mt19937 rng(197);
  const EVP_CIPHER *ecb[] = {EVP_aes_128_ecb(), EVP_aes_192_ecb(), EVP_aes_256_ecb()};
  const EVP_CIPHER *cbc[] = {EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()};
  for (int iter = 0; iter < 2000; ++iter) {
    const uint32_t size = pick(rng, 0, 2);
    const Bytes key = random_bytes(rng, 16 + 8 * size), iv = random_bytes(rng, 16);
    const Bytes m = random_bytes(rng, pick(rng, 1, 4096));
    SCOPED_TRACE(testing::Message() << key.size() << " " << m.size());
    CAesKeyPair keys;
    ASSERT_EQ(CAesKeyInit(key.data(), static_cast<uint32_t>(key.size()), 128 + 64 * size, &keys),
              0);
    const auto len = static_cast<uint32_t>(m.size());
    const uint32_t total = (len / 16 + 1) * 16;
    Bytes in(m), out(total), back(total);
    in.resize(total);
    ASSERT_EQ(CAesEncrypt(m.data(), len, out.data(), total, &keys), total);
    ASSERT_EQ(out, openssl_cipher(ecb[size], true, key, nullptr, m));
    ASSERT_EQ(CAesDecrypt(out.data(), total, back.data(), total, &keys), len);
    ASSERT_EQ(Bytes(back.begin(), back.begin() + len), m);

    back.assign(total, 0);
    ASSERT_EQ(CAesCbcEncrypt(in.data(), len, iv.data(), 16, out.data(), total, &keys), total);
    ASSERT_EQ(out, openssl_cipher(cbc[size], true, key, iv.data(), m));
    ASSERT_EQ(CAesCbcDecrypt(out.data(), total, iv.data(), 16, back.data(), total, &keys), len);
    back.resize(len);
    ASSERT_EQ(back, m);
  }
}

#else

TEST(AesShaOpenssl, NeedsLibcrypto) {
  GTEST_SKIP() << "OpenSSL libcrypto not found";
}

#endif
