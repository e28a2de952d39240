// AES-128 ECB/CBC, SHA-256 and HMAC-SHA-256 against OpenSSL EVP, at 64 B,
// 1 KiB and 16 KiB.  Run the program three times to see OpenSSL's paths:
// OPENSSL_ia32cap="0:0" (plain integer code, the fair baseline for portable
// code), OPENSSL_ia32cap="~0x200000200000000:~0x20000000" (no AES-NI, PCLMUL
// or SHA-NI, but SIMD), and unmasked.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "quorvel/crypto.h"

#if defined(QRVL_BENCH_HAVE_OPENSSL)
#include <openssl/core_names.h>
#include <openssl/evp.h>
#endif

namespace {

const uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                          0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const uint8_t kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const uint8_t kMacKey[32] = {7, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                             16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};

std::vector<uint8_t> message(size_t n) {
  std::vector<uint8_t> m(n + 16);  // room for the pad block
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 131 + 7);
  return m;
}

void sizes(benchmark::internal::Benchmark *b) { b->Arg(64)->Arg(1024)->Arg(16384); }

void finish(benchmark::State &state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

CAesKeyPair key_pair() {
  CAesKeyPair keys;
  CAesKeyInit(kKey, 16, 128, &keys);
  return keys;
}

// ---- quorvel -----------------------------------------------------------------

void BM_AesSha_Qrvl_Aes128EcbEncrypt(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  const auto keys = key_pair();
  auto in = message(len), out = message(len);
  for (auto _ : state) {
    benchmark::DoNotOptimize(CAesEncrypt(in.data(), len, out.data(), len + 16, &keys));
    benchmark::ClobberMemory();
  }
  finish(state);
}

void BM_AesSha_Qrvl_Aes128EcbDecrypt(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  const auto keys = key_pair();
  auto in = message(len), cipher = message(len), out = message(len);
  CAesEncrypt(in.data(), len, cipher.data(), len + 16, &keys);
  for (auto _ : state) {
    benchmark::DoNotOptimize(CAesDecrypt(cipher.data(), len + 16, out.data(), len + 16, &keys));
    benchmark::ClobberMemory();
  }
  finish(state);
}

void BM_AesSha_Qrvl_Aes128CbcEncrypt(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  const auto keys = key_pair();
  auto in = message(len), out = message(len);
  for (auto _ : state) {
    benchmark::DoNotOptimize(CAesCbcEncrypt(in.data(), len, kIv, 16, out.data(), len + 16, &keys));
    benchmark::ClobberMemory();
  }
  finish(state);
}

void BM_AesSha_Qrvl_Aes128CbcDecrypt(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  const auto keys = key_pair();
  auto in = message(len), cipher = message(len), out = message(len);
  CAesCbcEncrypt(in.data(), len, kIv, 16, cipher.data(), len + 16, &keys);
  for (auto _ : state) {
    benchmark::DoNotOptimize(CAesCbcDecrypt(cipher.data(), len + 16, kIv, 16, out.data(), len + 16, &keys));
    benchmark::ClobberMemory();
  }
  finish(state);
}

void BM_AesSha_Qrvl_Sha256(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  auto in = message(len);
  uint8_t digest[32];
  for (auto _ : state) {
    csha256(in.data(), len, digest);
    benchmark::DoNotOptimize(digest);
  }
  finish(state);
}

// Keyed for every message, as a one-shot caller would.
void BM_AesSha_Qrvl_HmacSha256(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  auto in = message(len);
  uint8_t mac[32];
  for (auto _ : state) {
    hmac_csha256(kMacKey, sizeof kMacKey, in.data(), len, mac, 32);
    benchmark::DoNotOptimize(mac);
  }
  finish(state);
}

// Keyed once, reinit per message.
void BM_AesSha_Qrvl_HmacSha256Reused(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  auto in = message(len);
  uint8_t mac[32];
  hmac_csha256_ctx ctx;
  hmac_csha256_init(&ctx, kMacKey, sizeof kMacKey);
  for (auto _ : state) {
    hmac_csha256_reinit(&ctx);
    hmac_csha256_update(&ctx, in.data(), len);
    hmac_csha256_final(&ctx, mac, 32);
    benchmark::DoNotOptimize(mac);
  }
  finish(state);
}

BENCHMARK(BM_AesSha_Qrvl_Aes128EcbEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_Aes128EcbDecrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_Aes128CbcEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_Aes128CbcDecrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_Sha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_HmacSha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_HmacSha256Reused)->Apply(sizes);

// ---- OpenSSL EVP -------------------------------------------------------------

#if defined(QRVL_BENCH_HAVE_OPENSSL)

// The same work as ours: the key schedule is made once, each message is a
// full init/update/final with PKCS #7 padding.
void openssl_cipher(benchmark::State &state, const char *name, bool encrypt) {
  const auto len = static_cast<int>(state.range(0));
  EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  auto in = message(static_cast<size_t>(len)), out = message(static_cast<size_t>(len)) , cipher_text = in;
  const int enc = encrypt ? 1 : 0;
  EVP_CipherInit_ex(ctx, cipher, nullptr, kKey, kIv, 1);
  int n = 0, tail = 0;
  EVP_CipherUpdate(ctx, cipher_text.data(), &n, in.data(), len);
  EVP_CipherFinal_ex(ctx, cipher_text.data() + n, &tail);
  EVP_CipherInit_ex(ctx, cipher, nullptr, kKey, kIv, enc);
  const uint8_t *src = encrypt ? in.data() : cipher_text.data();
  const int src_len = encrypt ? len : len + 16;
  for (auto _ : state) {
    EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, kIv, enc);
    EVP_CipherUpdate(ctx, out.data(), &n, src, src_len);
    EVP_CipherFinal_ex(ctx, out.data() + n, &tail);
    benchmark::DoNotOptimize(tail);
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  finish(state);
}

void BM_AesSha_Ossl_Aes128EcbEncrypt(benchmark::State &state) { openssl_cipher(state, "AES-128-ECB", true); }
void BM_AesSha_Ossl_Aes128EcbDecrypt(benchmark::State &state) { openssl_cipher(state, "AES-128-ECB", false); }
void BM_AesSha_Ossl_Aes128CbcEncrypt(benchmark::State &state) { openssl_cipher(state, "AES-128-CBC", true); }
void BM_AesSha_Ossl_Aes128CbcDecrypt(benchmark::State &state) { openssl_cipher(state, "AES-128-CBC", false); }

void BM_AesSha_Ossl_Sha256(benchmark::State &state) {
  const auto len = static_cast<size_t>(state.range(0));
  auto in = message(len);
  EVP_MD *md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  EVP_MD_CTX *ctx = EVP_MD_CTX_new();
  uint8_t digest[32];
  unsigned int n = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, in.data(), len);
    EVP_DigestFinal_ex(ctx, digest, &n);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
  finish(state);
}

void openssl_hmac(benchmark::State &state, bool rekey) {
  const auto len = static_cast<size_t>(state.range(0));
  auto in = message(len);
  EVP_MAC *mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MAC_CTX *ctx = EVP_MAC_CTX_new(mac);
  char digest_name[] = "SHA256";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest_name, 0),
                         OSSL_PARAM_construct_end()};
  EVP_MAC_init(ctx, kMacKey, sizeof kMacKey, params);
  uint8_t out[32];
  size_t n = 0;
  for (auto _ : state) {
    if (rekey) {
      EVP_MAC_init(ctx, kMacKey, sizeof kMacKey, nullptr);
    } else {
      EVP_MAC_init(ctx, nullptr, 0, nullptr);
    }
    EVP_MAC_update(ctx, in.data(), len);
    EVP_MAC_final(ctx, out, &n, sizeof out);
    benchmark::DoNotOptimize(out);
  }
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac);
  finish(state);
}

void BM_AesSha_Ossl_HmacSha256(benchmark::State &state) { openssl_hmac(state, true); }
void BM_AesSha_Ossl_HmacSha256Reused(benchmark::State &state) { openssl_hmac(state, false); }

BENCHMARK(BM_AesSha_Ossl_Aes128EcbEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_Aes128EcbDecrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_Aes128CbcEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_Aes128CbcDecrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_Sha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_HmacSha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_HmacSha256Reused)->Apply(sizes);

#endif

}  // namespace
