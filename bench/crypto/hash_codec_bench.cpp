// MD5 against OpenSSL EVP, the byte sum and MurmurHash3.
// Run once each with OPENSSL_ia32cap="0:0", with
// OPENSSL_ia32cap="~0x200000200000000:~0x20000000" and unmasked.
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


void BM_md5_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  uint8_t digest[16];
  for (auto _ : state) {
    QRVL_MD5_CTX ctx;
    QRVL_MD5Init(&ctx);
    QRVL_MD5Update(&ctx, msg.data(), static_cast<uint32_t>(n));
    QRVL_MD5Final(digest, &ctx);
    benchmark::DoNotOptimize(digest);
  }
  set_bytes(state, n);
}
BENCHMARK(BM_md5_quorvel)->Apply(sizes);

void BM_byte_sum_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  for (auto _ : state) benchmark::DoNotOptimize(GetCrc32(2, 0, msg.data(), n));
  set_bytes(state, n);
}
BENCHMARK(BM_byte_sum_quorvel)->Arg(65536);

template <void (*Hash)(const void *, int32_t, uint32_t, void *)>
void BM_murmur3(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  uint64_t out[2];
  for (auto _ : state) {
    Hash(msg.data(), static_cast<int32_t>(n), 42, out);
    benchmark::DoNotOptimize(out);
  }
  set_bytes(state, n);
}
BENCHMARK_TEMPLATE(BM_murmur3, MurmurHash3_x64_128)
    ->Name("BM_murmur3_x64_128")
    ->Arg(16)
    ->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_murmur3, MurmurHash3_x86_128)
    ->Name("BM_murmur3_x86_128")
    ->Arg(16)
    ->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_murmur3, MurmurHash3_x86_32)
    ->Name("BM_murmur3_x86_32")
    ->Arg(16)
    ->Arg(1 << 20);

#if defined(QRVL_BENCH_HAVE_OPENSSL)
void BM_md5_openssl(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  EVP_MD_CTX *ctx = EVP_MD_CTX_new();
  const EVP_MD *md = EVP_md5();
  unsigned char digest[16];
  unsigned int len = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, msg.data(), n);
    EVP_DigestFinal_ex(ctx, digest, &len);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  set_bytes(state, n);
}
BENCHMARK(BM_md5_openssl)->Apply(sizes);

#endif

}  // namespace
