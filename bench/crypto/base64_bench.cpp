// ToBase64Simple and FromBase64Simple against OpenSSL's block codec.
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

void BM_base64_encode_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  std::vector<char> out(4 * ((n + 2) / 3) + 1);
  label_engine(state, "base64");
  for (auto _ : state) {
    benchmark::DoNotOptimize(ToBase64Simple(msg.data(), static_cast<int32_t>(n), out.data(),
                                            static_cast<int32_t>(out.size())));
    benchmark::ClobberMemory();
  }
  set_bytes(state, n);
}
BENCHMARK(BM_base64_encode_quorvel)->Apply(sizes);

void BM_base64_decode_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  std::vector<char> text(4 * ((n + 2) / 3) + 1);
  const int32_t chars = ToBase64Simple(msg.data(), static_cast<int32_t>(n), text.data(),
                                       static_cast<int32_t>(text.size()));
  std::vector<uint8_t> out(n + 3);
  label_engine(state, "base64");
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        FromBase64Simple(text.data(), chars, out.data(), static_cast<int32_t>(out.size())));
    benchmark::ClobberMemory();
  }
  set_bytes(state, n);  // decoded bytes, like the encoder's input
}
BENCHMARK(BM_base64_decode_quorvel)->Apply(sizes);

#if defined(QRVL_BENCH_HAVE_OPENSSL)
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
BENCHMARK(BM_base64_encode_openssl)->Apply(sizes);

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
BENCHMARK(BM_base64_decode_openssl)->Apply(sizes);
#endif

}  // namespace
