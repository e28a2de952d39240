// GetCrc32 in both bit orders against zlib's crc32; 256 bytes is where the
// 512-bit engine takes over from the 128-bit one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "crypto_bench.hpp"
#include "quorvel/crypto.h"

#if defined(QRVL_BENCH_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace {

using namespace crypto_bench;

void BM_crc32_msb_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  label_engine(state, "crc32");
  for (auto _ : state) benchmark::DoNotOptimize(GetCrc32(0, 0xFFFFFFFFu, msg.data(), n));
  set_bytes(state, n);
}
BENCHMARK(BM_crc32_msb_quorvel)->Apply(sizes)->Arg(256)->Arg(65536);

void BM_crc32_reflected_quorvel(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  label_engine(state, "crc32");
  for (auto _ : state) benchmark::DoNotOptimize(GetCrc32(1, 0xFFFFFFFFu, msg.data(), n));
  set_bytes(state, n);
}
BENCHMARK(BM_crc32_reflected_quorvel)->Apply(sizes)->Arg(256)->Arg(65536);

#if defined(QRVL_BENCH_HAVE_ZLIB)
void BM_crc32_zlib(benchmark::State &state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto msg = random_bytes(n);
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, msg.data(), static_cast<uInt>(n)));
  set_bytes(state, n);
}
BENCHMARK(BM_crc32_zlib)->Apply(sizes)->Arg(256)->Arg(65536);
#endif

}  // namespace
