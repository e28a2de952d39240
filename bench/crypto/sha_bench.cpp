// SHA-256 and HMAC-SHA-256 against OpenSSL EVP.  Run the program three
// times to see OpenSSL's paths: OPENSSL_ia32cap="0:0",
// OPENSSL_ia32cap="~0x200000200000000:~0x20000000", and unmasked.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "crypto_bench.hpp"
#include "quorvel/crypto.h"

#if defined(QRVL_BENCH_HAVE_OPENSSL)
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#endif

namespace {

using namespace crypto_bench;

// ---- quorvel -----------------------------------------------------------------

void BM_AesSha_Qrvl_Sha256(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  auto in = message(len);
  uint8_t digest[32];
  label_engine(state, "sha256");
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
  label_engine(state, "sha256");
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
  label_engine(state, "sha256");
  for (auto _ : state) {
    hmac_csha256_reinit(&ctx);
    hmac_csha256_update(&ctx, in.data(), len);
    hmac_csha256_final(&ctx, mac, 32);
    benchmark::DoNotOptimize(mac);
  }
  finish(state);
}

BENCHMARK(BM_AesSha_Qrvl_Sha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_HmacSha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_HmacSha256)->Arg(16);  // against HMAC() below
BENCHMARK(BM_AesSha_Qrvl_HmacSha256Reused)->Apply(sizes);

// ---- OpenSSL EVP -------------------------------------------------------------

#if defined(QRVL_BENCH_HAVE_OPENSSL)

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

BENCHMARK(BM_AesSha_Ossl_Sha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_HmacSha256)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_HmacSha256Reused)->Apply(sizes);

// OpenSSL's one-shot HMAC(), the call a caller with one short message makes.
void BM_AesSha_Ossl_HmacSha256OneShot(benchmark::State &state) {
  const auto len = static_cast<size_t>(state.range(0));
  auto in = message(len);
  uint8_t out[32];
  unsigned int n = 0;
  for (auto _ : state) {
    HMAC(EVP_sha256(), kMacKey, sizeof kMacKey, in.data(), len, out, &n);
    benchmark::DoNotOptimize(out);
  }
  finish(state);
}

BENCHMARK(BM_AesSha_Ossl_HmacSha256OneShot)->Arg(16);

#endif

}  // namespace
