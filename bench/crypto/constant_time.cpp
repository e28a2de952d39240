// A statistical timing check in the manner of dudect: each primitive runs on
// a fixed input (class 0) and on random inputs (class 1), interleaved at
// random, each call timed with the time-stamp counter; Welch's t statistic
// of the two classes' times says whether timing depends on the data.
// |t| above 4.5 is the usual sign of a leak; below it, none was seen in
// this many measurements (which is evidence, not proof).
//
//   bench_constant_time [--engine_tier=portable|sse|avx2|avx512] [MEASUREMENTS]
//
// The times are cropped at several percentiles, as dudect does, since
// interrupts and the other vCPU add long outliers; the largest |t| over the
// crops is reported.
#include <x86intrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/sha256.hpp"
#include "quorvel/crypto.h"

namespace {

using quorvel::detail::EngineTier;

struct Welch {
  double n[2] = {0, 0}, mean[2] = {0, 0}, m2[2] = {0, 0};
  void add(int cls, double x) {
    n[cls] += 1;
    const double d = x - mean[cls];
    mean[cls] += d / n[cls];
    m2[cls] += d * (x - mean[cls]);
  }
  double t() const {
    if (n[0] < 2 || n[1] < 2) return 0;
    const double v0 = m2[0] / (n[0] - 1), v1 = m2[1] / (n[1] - 1);
    return (mean[0] - mean[1]) / std::sqrt(v0 / n[0] + v1 / n[1]);
  }
};

inline uint64_t ticks() {
  _mm_lfence();
  const uint64_t t = __rdtsc();
  _mm_lfence();
  return t;
}

// One primitive under test: prepare(i, cls) sets up input i of its class
// outside the timed region, run(i) is the timed call.
struct Subject {
  const char *name;
  void (*prepare)(size_t i, int cls);
  void (*run)(size_t i);
};

constexpr size_t kPool = 4096;
// Each input slot holds one pass of the wide AES engines (sixteen blocks);
// the one-block and SHA subjects use its start.
constexpr size_t kRunBlocks = 16;
constexpr size_t kSlot = 16 * kRunBlocks;
std::mt19937_64 g_rng(20261207);
std::vector<CAES_schedule> g_enc(kPool), g_dec(kPool);
std::vector<uint8_t> g_in(kPool * kSlot), g_out(kSlot);
uint8_t g_fixed_key[32], g_fixed_block[kSlot];

void random_fill(uint8_t *p, size_t n) {
  for (size_t k = 0; k < n; ++k) p[k] = static_cast<uint8_t>(g_rng());
}

void prepare_aes(size_t i, int cls) {
  uint8_t key[32];
  if (cls == 0) {
    std::memcpy(key, g_fixed_key, 32);
    std::memcpy(&g_in[i * kSlot], g_fixed_block, kSlot);
  } else {
    random_fill(key, 32);
    random_fill(&g_in[i * kSlot], kSlot);
  }
  CAES_set_encrypt_key(key, 128, &g_enc[i]);
  CAES_set_decrypt_key(key, 128, &g_dec[i]);
}
void run_aes_encrypt(size_t i) { CAES_encrypt(&g_in[i * kSlot], g_out.data(), &g_enc[i]); }
void run_aes_decrypt(size_t i) { CAES_decrypt(&g_in[i * kSlot], g_out.data(), &g_dec[i]); }
// Sixteen blocks at once, which the wide engines run as one pass.
void run_aes_encrypt_run(size_t i) {
  quorvel::detail::aes_engine().encrypt_blocks(&g_enc[i], &g_in[i * kSlot], g_out.data(),
                                               kRunBlocks);
}
void run_aes_cbc_decrypt_run(size_t i) {
  uint8_t chain[16] = {};
  quorvel::detail::aes_engine().cbc_decrypt(&g_dec[i], chain, &g_in[i * kSlot], g_out.data(),
                                            kRunBlocks);
}

void prepare_sha(size_t i, int cls) {
  if (cls == 0) {
    std::memcpy(&g_in[i * kSlot], g_fixed_block, 64);
  } else {
    random_fill(&g_in[i * kSlot], 64);
  }
}
void run_sha(size_t i) {
  uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  quorvel::detail::sha256_engine().compress(state, &g_in[i * kSlot], 1);
  std::memcpy(g_out.data(), state, 32);
}

const Subject kSubjects[] = {
    {"AES-128 encrypt (key and block)", prepare_aes, run_aes_encrypt},
    {"AES-128 decrypt (key and block)", prepare_aes, run_aes_decrypt},
    {"AES-128 ECB encrypt, 16 blocks", prepare_aes, run_aes_encrypt_run},
    {"AES-128 CBC decrypt, 16 blocks", prepare_aes, run_aes_cbc_decrypt_run},
    {"SHA-256 compression (block)", prepare_sha, run_sha},
};

double crop_t(const std::vector<uint64_t> &times, const std::vector<int> &cls, double limit) {
  Welch w;
  for (size_t k = 0; k < times.size(); ++k) {
    if (static_cast<double>(times[k]) <= limit) w.add(cls[k], static_cast<double>(times[k]));
  }
  return std::fabs(w.t());
}

double max_abs_t(const Subject &s, size_t measurements) {
  std::vector<uint64_t> times;
  std::vector<int> classes;
  times.reserve(measurements);
  classes.reserve(measurements);
  std::vector<int> cls(kPool);
  while (times.size() < measurements) {
    for (size_t i = 0; i < kPool; ++i) {
      cls[i] = static_cast<int>(g_rng() & 1);
      s.prepare(i, cls[i]);
    }
    for (size_t i = 0; i < kPool; ++i) {
      const uint64_t t0 = ticks();
      s.run(i);
      const uint64_t t1 = ticks();
      times.push_back(t1 - t0);
      classes.push_back(cls[i]);
    }
  }
  std::vector<uint64_t> sorted(times);
  std::sort(sorted.begin(), sorted.end());
  double worst = crop_t(times, classes, static_cast<double>(sorted.back()));
  for (double p : {0.5, 0.7, 0.9, 0.95, 0.99}) {
    const double limit = static_cast<double>(sorted[static_cast<size_t>(p * (sorted.size() - 1))]);
    worst = std::max(worst, crop_t(times, classes, limit));
  }
  return worst;
}

}  // namespace

int main(int argc, char **argv) {
  size_t measurements = 1000000;
  for (int i = 1; i < argc; ++i) {
    const char *flag = "--engine_tier=";
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
      bool found = false;
      for (int t = 0; t <= static_cast<int>(EngineTier::kAvx512); ++t) {
        const auto tier = static_cast<EngineTier>(t);
        if (std::strcmp(argv[i] + std::strlen(flag), quorvel::detail::engine_tier_name(tier)) == 0) {
          found = quorvel::detail::set_engine_tier(tier);
        }
      }
      if (!found) {
        std::fprintf(stderr, "bench_constant_time: no engine tier %s here\n", argv[i]);
        return 2;
      }
    } else {
      measurements = std::strtoull(argv[i], nullptr, 10);
    }
  }
  random_fill(g_fixed_key, sizeof g_fixed_key);
  random_fill(g_fixed_block, sizeof g_fixed_block);
  std::printf("%-34s %-10s %12s %8s\n", "primitive", "engine", "measurements", "max |t|");
  int leaks = 0;
  for (const Subject &s : kSubjects) {
    const double t = max_abs_t(s, measurements);
    const char *engine = s.run == run_sha ? quorvel::detail::sha256_engine().name
                                          : quorvel::detail::aes_engine().name;
    std::printf("%-34s %-10s %12zu %8.2f%s\n", s.name, engine, measurements, t,
                t > 4.5 ? "  timing depends on the data" : "");
    leaks += t > 4.5;
  }
  return leaks == 0 ? 0 : 1;
}
