// MD5, CRC-32, MurmurHash3 and Base64 against OpenSSL EVP and zlib.
// Run once each with OPENSSL_ia32cap="0:0", with
// OPENSSL_ia32cap="~0x200000200000000:~0x20000000" and unmasked.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "quorvel/crypto.h"

#if defined(QRVL_BENCH_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif
#if defined(QRVL_BENCH_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace {

std::vector<uint8_t> random_bytes(size_t n) {
  std::mt19937_64 rng(n);
  std::vector<uint8_t> v(n);
  for (auto &b : v) b = static_cast<uint8_t>(rng());
  return v;
}

void set_bytes(benchmark::State &state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

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
BENCHMARK(BM_md5_quorvel)->Arg(64)->Arg(1024)->Arg(16384);

void BM_crc32_msb_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  for (auto _ : state) benchmark::DoNotOptimize(GetCrc32(0, 0xFFFFFFFFu, msg.data(), n));
  set_bytes(state, n);
}
BENCHMARK(BM_crc32_msb_quorvel)->Arg(64)->Arg(1024)->Arg(16384)->Arg(65536);

void BM_crc32_reflected_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  for (auto _ : state) benchmark::DoNotOptimize(GetCrc32(1, 0xFFFFFFFFu, msg.data(), n));
  set_bytes(state, n);
}
BENCHMARK(BM_crc32_reflected_quorvel)->Arg(64)->Arg(1024)->Arg(16384)->Arg(65536);

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

void BM_base64_encode_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  std::vector<char> out(4 * ((n + 2) / 3) + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ToBase64Simple(msg.data(), static_cast<int32_t>(n), out.data(),
                                            static_cast<int32_t>(out.size())));
    benchmark::ClobberMemory();
  }
  set_bytes(state, n);
}
BENCHMARK(BM_base64_encode_quorvel)->Arg(64)->Arg(1024)->Arg(16384);

void BM_base64_decode_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  std::vector<char> text(4 * ((n + 2) / 3) + 1);
  const int32_t chars = ToBase64Simple(msg.data(), static_cast<int32_t>(n), text.data(),
                                       static_cast<int32_t>(text.size()));
  std::vector<uint8_t> out(n + 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        FromBase64Simple(text.data(), chars, out.data(), static_cast<int32_t>(out.size())));
    benchmark::ClobberMemory();
  }
  set_bytes(state, n);  // decoded bytes, like the encoder's input
}
BENCHMARK(BM_base64_decode_quorvel)->Arg(64)->Arg(1024)->Arg(16384);

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
BENCHMARK(BM_md5_openssl)->Arg(64)->Arg(1024)->Arg(16384);

void BM_base64_encode_openssl(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  std::vector<unsigned char> out(4 * ((n + 2) / 3) + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), msg.data(), static_cast<int>(n)));
    benchmark::ClobberMemory();
  }
  set_bytes(state, n);
}
BENCHMARK(BM_base64_encode_openssl)->Arg(64)->Arg(1024)->Arg(16384);

void BM_base64_decode_openssl(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  std::vector<unsigned char> text(4 * ((n + 2) / 3) + 1);
  const int chars = EVP_EncodeBlock(text.data(), msg.data(), static_cast<int>(n));
  std::vector<unsigned char> out(n + 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), text.data(), chars));
    benchmark::ClobberMemory();
  }
  set_bytes(state, n);
}
BENCHMARK(BM_base64_decode_openssl)->Arg(64)->Arg(1024)->Arg(16384);
#endif

#if defined(QRVL_BENCH_HAVE_ZLIB)
void BM_crc32_zlib(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, msg.data(), static_cast<uInt>(n)));
  set_bytes(state, n);
}
BENCHMARK(BM_crc32_zlib)->Arg(64)->Arg(1024)->Arg(16384)->Arg(65536);
#endif

}  // namespace
