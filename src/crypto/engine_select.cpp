// Choosing each primitive's engine: the first candidate, fastest first,
// that the processor runs and that the cap allows.  The choice is a pure
// function of the processor and the cap, so two threads choosing at once
// store the same pointer; the engines themselves are constant data.
#include <atomic>

#include "crypto/aes.hpp"
#include "crypto/engine_tier.hpp"
#include "crypto/kernels.hpp"
#include "crypto/sha256.hpp"

namespace quorvel::detail {

std::atomic<const AesEngine *> g_aes_engine{nullptr};
std::atomic<const Sha256Engine *> g_sha256_engine{nullptr};
std::atomic<const Crc32Engine *> g_crc32_engine{nullptr};
std::atomic<const Base64Engine *> g_base64_engine{nullptr};

namespace {

std::atomic<int> g_cap{static_cast<int>(EngineTier::kAvx512)};

// The candidates of each primitive, fastest first; the portable engine,
// which runs anywhere, closes each list.
const AesEngine *const kAesCandidates[] = {
#if defined(QRVL_CRYPTO_X86_WIDE)
    &kAesVaes512,
    &kAesVaes256,
#endif
#if defined(QRVL_CRYPTO_X86)
    &kAesNi,
#endif
    &kAesPortable,
};
const Sha256Engine *const kSha256Candidates[] = {
#if defined(QRVL_CRYPTO_X86)
    &kSha256Ni,
#endif
    &kSha256Portable,
};
const Crc32Engine *const kCrc32Candidates[] = {
#if defined(QRVL_CRYPTO_X86_WIDE)
    &kCrc32Vpclmul512,
#endif
#if defined(QRVL_CRYPTO_X86)
    &kCrc32Clmul,
#endif
    &kCrc32Portable,
};
const Base64Engine *const kBase64Candidates[] = {
#if defined(QRVL_CRYPTO_X86_WIDE)
    &kBase64Avx512Vbmi,
    &kBase64Avx2,
#endif
    &kBase64Portable,
};

template <class Engine, size_t N>
const Engine &choose(const Engine *const (&candidates)[N], std::atomic<const Engine *> &slot) {
  const int cap = g_cap.load(std::memory_order_relaxed);
  const platform::CpuFeatures &cpu = platform::cpu_features();
  const Engine *chosen = candidates[N - 1];
  for (const Engine *engine : candidates) {
    if (static_cast<int>(engine->tier) <= cap && engine->runs_on(cpu)) {
      chosen = engine;
      break;
    }
  }
  slot.store(chosen, std::memory_order_relaxed);
  return *chosen;
}

}  // namespace

const AesEngine &choose_aes_engine() { return choose(kAesCandidates, g_aes_engine); }
const Sha256Engine &choose_sha256_engine() { return choose(kSha256Candidates, g_sha256_engine); }
const Crc32Engine &choose_crc32_engine() { return choose(kCrc32Candidates, g_crc32_engine); }
const Base64Engine &choose_base64_engine() { return choose(kBase64Candidates, g_base64_engine); }

EngineTier cpu_engine_tier() {
#if defined(QRVL_CRYPTO_X86)
  const platform::CpuFeatures &cpu = platform::cpu_features();
#if defined(QRVL_CRYPTO_X86_WIDE)
  if (cpu.avx512f && cpu.avx512bw && cpu.avx512vl) return EngineTier::kAvx512;
  if (cpu.avx2) return EngineTier::kAvx2;
#endif
  if (cpu.ssse3 && cpu.sse41) return EngineTier::kSse;
#endif
  return EngineTier::kPortable;
}

bool set_engine_tier(EngineTier cap) {
  if (static_cast<int>(cap) > static_cast<int>(cpu_engine_tier())) return false;
  g_cap.store(static_cast<int>(cap), std::memory_order_relaxed);
  choose_aes_engine();
  choose_sha256_engine();
  choose_crc32_engine();
  choose_base64_engine();
  return true;
}

const char *engine_tier_name(EngineTier tier) {
  switch (tier) {
    case EngineTier::kPortable: return "portable";
    case EngineTier::kSse: return "sse";
    case EngineTier::kAvx2: return "avx2";
    case EngineTier::kAvx512: return "avx512";
  }
  return "?";
}

}  // namespace quorvel::detail
