// What the crypto benchmarks share: their inputs, sizes and byte counts.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "quorvel/crypto.h"

namespace crypto_bench {

inline const uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                 0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
inline const uint8_t kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
inline const uint8_t kMacKey[32] = {7,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                    11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                    22, 23, 24, 25, 26, 27, 28, 29, 30, 31};

// A message of n bytes with room for a pad block after it.
inline std::vector<uint8_t> message(size_t n) {
  std::vector<uint8_t> m(n + 16);
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 131 + 7);
  return m;
}

inline std::vector<uint8_t> random_bytes(size_t n) {
  std::mt19937_64 rng(n);
  std::vector<uint8_t> v(n);
  for (auto &b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// The sizes every primitive's table has.
inline void sizes(benchmark::internal::Benchmark *b) {
  b->Arg(64)->Arg(1024)->Arg(16384)->Arg(1 << 20);
}

inline void set_bytes(benchmark::State &state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

inline void finish(benchmark::State &state) {
  set_bytes(state, static_cast<size_t>(state.range(0)));
}

inline CAesKeyPair key_pair() {
  CAesKeyPair keys;
  CAesKeyInit(kKey, 16, 128, &keys);
  return keys;
}

// Labels a quorvel benchmark with the engine that ran it (main.cpp).
void label_engine(benchmark::State &state, const char *primitive);

}  // namespace crypto_bench
