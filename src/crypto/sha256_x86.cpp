// SHA-256 compression with the x86 SHA extensions (SHA-NI).
//
// sha256rnds2 runs two steps on the working variables held as two vectors,
// ABEF and CDGH; sha256msg1/sha256msg2 compute four schedule words at a
// time.  Every block runs the same instruction sequence whatever the data:
// there are no branches or table look-ups on message or state, and the one
// table read, the round constants, is public and read in full.
#include <cstddef>
#include <cstdint>

#include "crypto/sha256.hpp"

#if defined(QRVL_CRYPTO_X86)

#include <immintrin.h>

namespace quorvel::detail {
namespace {

#define QRVL_SHA_NI_TARGET __attribute__((target("sha,ssse3,sse4.1")))


// Four steps: schedule words w (lanes in step order) with their constants.
// The low two lanes drive the first sha256rnds2, the high two the second.
QRVL_SHA_NI_TARGET inline void four_steps(__m128i &abef, __m128i &cdgh, __m128i w, int group) {
  const __m128i wk =
      _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i *>(kSha256K + 4 * group)));
  cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
  abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0e));
}

// Schedule words 4j..4j+3 from the previous sixteen, w0 oldest:
// W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16].
QRVL_SHA_NI_TARGET inline __m128i next_words(__m128i w0, __m128i w1, __m128i w2, __m128i w3) {
  const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4));
  return _mm_sha256msg2_epu32(partial, w3);
}

QRVL_SHA_NI_TARGET void compress_sha_ni(uint32_t state[8], const uint8_t *data, size_t blocks) {
  const __m128i big_endian = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  auto *state_vec = reinterpret_cast<__m128i *>(state);

  // A..D and E..H to the ABEF / CDGH order sha256rnds2 expects (names
  // list the highest lane first).
  const __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(state_vec), 0xb1);
  const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(state_vec + 1), 0x1b);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xf0);

  for (; blocks != 0; --blocks, data += 64) {
    const __m128i abef_in = abef, cdgh_in = cdgh;
    const auto *in = reinterpret_cast<const __m128i *>(data);
    __m128i w[4];
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
      w[j] = _mm_shuffle_epi8(_mm_loadu_si128(in + j), big_endian);
      four_steps(abef, cdgh, w[j], j);
    }
    // Group j replaces group j - 4 in the rolling window of four vectors.
#pragma GCC unroll 12
    for (int j = 4; j < 16; ++j) {
      w[j & 3] = next_words(w[j & 3], w[(j + 1) & 3], w[(j + 2) & 3], w[(j + 3) & 3]);
      four_steps(abef, cdgh, w[j & 3], j);
    }
    abef = _mm_add_epi32(abef, abef_in);
    cdgh = _mm_add_epi32(cdgh, cdgh_in);
  }

  // Back to DCBA, HGFE: A..H in memory order.
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1b);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xb1);
  _mm_storeu_si128(state_vec, _mm_blend_epi16(feba, dchg, 0xf0));
  _mm_storeu_si128(state_vec + 1, _mm_alignr_epi8(dchg, feba, 8));
}

#undef QRVL_SHA_NI_TARGET

bool has_sha_ni(const platform::CpuFeatures &cpu) { return cpu.sha && cpu.ssse3 && cpu.sse41; }

}  // namespace

const Sha256Engine kSha256Ni = {"sha-ni", EngineTier::kSse, has_sha_ni, compress_sha_ni};

}  // namespace quorvel::detail

#endif  // QRVL_CRYPTO_X86
