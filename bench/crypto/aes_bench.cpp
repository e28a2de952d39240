// AES-128 ECB/CBC against OpenSSL EVP.  Run the program three times to see OpenSSL's paths:
// OPENSSL_ia32cap="0:0" (plain integer code, the fair baseline for portable
// code), OPENSSL_ia32cap="~0x200000200000000:~0x20000000" (no AES-NI, PCLMUL
// or SHA-NI, but SIMD), and unmasked.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "crypto_bench.hpp"
#include "quorvel/crypto.h"

#if defined(QRVL_BENCH_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

using namespace crypto_bench;

// ---- quorvel -----------------------------------------------------------------

void BM_AesSha_Qrvl_Aes128EcbEncrypt(benchmark::State &state) {
  const auto len = static_cast<uint32_t>(state.range(0));
  const auto keys = key_pair();
  auto in = message(len), out = message(len);
  label_engine(state, "aes");
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
  label_engine(state, "aes");
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
  label_engine(state, "aes");
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
  label_engine(state, "aes");
  for (auto _ : state) {
    benchmark::DoNotOptimize(CAesCbcDecrypt(cipher.data(), len + 16, kIv, 16, out.data(), len + 16, &keys));
    benchmark::ClobberMemory();
  }
  finish(state);
}

BENCHMARK(BM_AesSha_Qrvl_Aes128EcbEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_Aes128EcbDecrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_Aes128CbcEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Qrvl_Aes128CbcDecrypt)->Apply(sizes);
// One 16-byte message per call (32 bytes out with its pad block), the key
// pair ready: the cost of a call rather than of the rounds.
BENCHMARK(BM_AesSha_Qrvl_Aes128CbcEncrypt)->Arg(16);

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

BENCHMARK(BM_AesSha_Ossl_Aes128EcbEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_Aes128EcbDecrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_Aes128CbcEncrypt)->Apply(sizes);
BENCHMARK(BM_AesSha_Ossl_Aes128CbcDecrypt)->Apply(sizes);
// Per call: EVP_CipherInit_ex with the IV, Update and Final, as above.
BENCHMARK(BM_AesSha_Ossl_Aes128CbcEncrypt)->Arg(16);

#endif

}  // namespace
