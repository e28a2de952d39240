// The crypto benchmarks.  --engine_tier=portable|sse|avx2|avx512 caps the
// engines as the tests do (default: the widest this processor has); each
// quorvel benchmark is labelled with the engine that ran it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "crypto/aes.hpp"
#include "crypto/kernels.hpp"
#include "crypto/sha256.hpp"
#include "crypto_bench.hpp"

namespace crypto_bench {

void label_engine(benchmark::State &state, const char *primitive) {
  using namespace quorvel::detail;
  const char *name = "?";
  if (std::strcmp(primitive, "aes") == 0) name = aes_engine().name;
  if (std::strcmp(primitive, "sha256") == 0) name = sha256_engine().name;
  if (std::strcmp(primitive, "crc32") == 0) name = crc32_engine().name;
  if (std::strcmp(primitive, "base64") == 0) name = base64_engine().name;
  state.SetLabel(name);
}

}  // namespace crypto_bench

namespace {

// Takes --engine_tier=NAME out of the arguments; false on an unknown or
// unavailable tier.
bool apply_engine_tier(int &argc, char **argv) {
  using quorvel::detail::EngineTier;
  const char *flag = "--engine_tier=";
  int kept = 1;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], flag, std::strlen(flag)) != 0) {
      argv[kept++] = argv[i];
      continue;
    }
    const char *wanted = argv[i] + std::strlen(flag);
    bool found = false;
    for (int t = 0; t <= static_cast<int>(EngineTier::kAvx512); ++t) {
      const auto tier = static_cast<EngineTier>(t);
      if (std::strcmp(wanted, quorvel::detail::engine_tier_name(tier)) == 0) {
        found = quorvel::detail::set_engine_tier(tier);
      }
    }
    if (!found) std::fprintf(stderr, "bench_crypto: no engine tier %s here\n", wanted);
    ok = ok && found;
  }
  argc = kept;
  return ok;
}

}  // namespace

int main(int argc, char **argv) {
  if (!apply_engine_tier(argc, argv)) return 2;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
