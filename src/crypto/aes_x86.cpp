// AES engines on the processor's AES instructions: AES-NI on 128-bit
// registers and VAES on 512-bit ones.
//
// Constant time: each round is one aesenc/aesdec (or its last-round form)
// over the whole state, and those instructions take the same time whatever
// the key and data; there are no table look-ups.  The only branches and
// masks depend on the number of rounds and the number of blocks, which are
// public.
//
// The schedule's words hold their first byte in the most significant
// position, so each round key is loaded with every 32-bit lane
// byte-reversed.  The decryption schedule is already the equivalent inverse
// cipher's (reversed, InvMixColumns on the inner keys), which is what
// aesdec and aesdeclast take.
#include <cstddef>
#include <cstdint>

#include "crypto/aes.hpp"
#include "crypto/engine_tier.hpp"

#if defined(QRVL_CRYPTO_X86)
#include <immintrin.h>

#define QRVL_AESNI __attribute__((target("aes,ssse3,sse4.1")))
#define QRVL_AESNI_INLINE __attribute__((always_inline, target("aes,ssse3,sse4.1"))) inline

namespace quorvel::detail {
namespace {

// ---- 128-bit registers ---------------------------------------------------------

template <int Rounds>
QRVL_AESNI_INLINE void load_keys(const CAES_schedule *schedule, __m128i *keys) {
  const __m128i lane_swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
#pragma GCC unroll 16
  for (int r = 0; r <= Rounds; ++r) {
    const __m128i words = _mm_loadu_si128(
        reinterpret_cast<const __m128i *>(schedule->round_keys + 4 * r));
    keys[r] = _mm_shuffle_epi8(words, lane_swap);
  }
}

QRVL_AESNI_INLINE __m128i load_block(const uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

QRVL_AESNI_INLINE void store_block(uint8_t *p, __m128i x) {
  _mm_storeu_si128(reinterpret_cast<__m128i *>(p), x);
}

// All rounds over N blocks at once, so that N instructions are in flight.
template <int Rounds, bool Encrypt, int N>
QRVL_AESNI_INLINE void rounds_n(const __m128i *keys, __m128i *x) {
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) x[i] = _mm_xor_si128(x[i], keys[0]);
#pragma GCC unroll 16
  for (int r = 1; r < Rounds; ++r) {
#pragma GCC unroll 8
    for (int i = 0; i < N; ++i) {
      x[i] = Encrypt ? _mm_aesenc_si128(x[i], keys[r]) : _mm_aesdec_si128(x[i], keys[r]);
    }
  }
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) {
    x[i] = Encrypt ? _mm_aesenclast_si128(x[i], keys[Rounds])
                   : _mm_aesdeclast_si128(x[i], keys[Rounds]);
  }
}

template <int Rounds, bool Encrypt, int N>
QRVL_AESNI_INLINE void ecb_n(const __m128i *keys, const uint8_t *in, uint8_t *out) {
  __m128i x[N];
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) x[i] = load_block(in + 16 * i);
  rounds_n<Rounds, Encrypt, N>(keys, x);
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) store_block(out + 16 * i, x[i]);
}

template <int Rounds, bool Encrypt>
QRVL_AESNI void ecb_ni(const CAES_schedule *schedule, const uint8_t *in, uint8_t *out,
                       size_t blocks) {
  __m128i keys[Rounds + 1];
  load_keys<Rounds>(schedule, keys);
  for (; blocks >= 8; blocks -= 8, in += 128, out += 128) {
    ecb_n<Rounds, Encrypt, 8>(keys, in, out);
  }
  if (blocks >= 4) {
    ecb_n<Rounds, Encrypt, 4>(keys, in, out);
    blocks -= 4, in += 64, out += 64;
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) ecb_n<Rounds, Encrypt, 1>(keys, in, out);
}

// Each block's output chains into the next block's first round, so the
// plaintext and round key 0 are folded into the last round's key ahead of
// time: the dependent path is the aesenc chain alone.
template <int Rounds>
QRVL_AESNI void cbc_encrypt_ni(const CAES_schedule *schedule, uint8_t chain[16],
                               const uint8_t *in, uint8_t *out, size_t blocks) {
  __m128i keys[Rounds + 1];
  load_keys<Rounds>(schedule, keys);
  if (blocks == 0) return;
  __m128i x = _mm_xor_si128(load_block(chain), _mm_xor_si128(load_block(in), keys[0]));
  for (;;) {
#pragma GCC unroll 16
    for (int r = 1; r < Rounds; ++r) x = _mm_aesenc_si128(x, keys[r]);
    if (--blocks == 0) break;
    in += 16;
    const __m128i next = _mm_xor_si128(load_block(in), keys[0]);
    x = _mm_aesenclast_si128(x, _mm_xor_si128(keys[Rounds], next));  // C ^ next
    store_block(out, _mm_xor_si128(x, next));
    out += 16;
  }
  x = _mm_aesenclast_si128(x, keys[Rounds]);
  store_block(out, x);
  store_block(chain, x);
}

// N blocks decrypted together; every ciphertext is read before any output
// is written, so in may equal out.
template <int Rounds, int N>
QRVL_AESNI_INLINE void cbc_decrypt_n(const __m128i *keys, __m128i &chain, const uint8_t *in,
                                     uint8_t *out) {
  __m128i x[N];
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) x[i] = load_block(in + 16 * i);
  rounds_n<Rounds, false, N>(keys, x);
  x[0] = _mm_xor_si128(x[0], chain);
#pragma GCC unroll 8
  for (int i = 1; i < N; ++i) x[i] = _mm_xor_si128(x[i], load_block(in + 16 * (i - 1)));
  chain = load_block(in + 16 * (N - 1));
#pragma GCC unroll 8
  for (int i = 0; i < N; ++i) store_block(out + 16 * i, x[i]);
}

template <int Rounds>
QRVL_AESNI void cbc_decrypt_ni(const CAES_schedule *schedule, uint8_t chain[16],
                               const uint8_t *in, uint8_t *out, size_t blocks) {
  __m128i keys[Rounds + 1];
  load_keys<Rounds>(schedule, keys);
  __m128i iv = load_block(chain);
  for (; blocks >= 8; blocks -= 8, in += 128, out += 128) {
    cbc_decrypt_n<Rounds, 8>(keys, iv, in, out);
  }
  if (blocks >= 4) {
    cbc_decrypt_n<Rounds, 4>(keys, iv, in, out);
    blocks -= 4, in += 64, out += 64;
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) cbc_decrypt_n<Rounds, 1>(keys, iv, in, out);
  store_block(chain, iv);
}

// The entry points pick the unrolled code for the schedule's rounds (the
// callers have checked it is 10, 12 or 14).
QRVL_AESNI void encrypt_blocks_ni(const CAES_schedule *s, const uint8_t *in, uint8_t *out,
                                  size_t blocks) {
  switch (s->rounds) {
    case 10: return ecb_ni<10, true>(s, in, out, blocks);
    case 12: return ecb_ni<12, true>(s, in, out, blocks);
    default: return ecb_ni<14, true>(s, in, out, blocks);
  }
}

QRVL_AESNI void decrypt_blocks_ni(const CAES_schedule *s, const uint8_t *in, uint8_t *out,
                                  size_t blocks) {
  switch (s->rounds) {
    case 10: return ecb_ni<10, false>(s, in, out, blocks);
    case 12: return ecb_ni<12, false>(s, in, out, blocks);
    default: return ecb_ni<14, false>(s, in, out, blocks);
  }
}

QRVL_AESNI void cbc_encrypt_blocks_ni(const CAES_schedule *s, uint8_t chain[16],
                                      const uint8_t *in, uint8_t *out, size_t blocks) {
  switch (s->rounds) {
    case 10: return cbc_encrypt_ni<10>(s, chain, in, out, blocks);
    case 12: return cbc_encrypt_ni<12>(s, chain, in, out, blocks);
    default: return cbc_encrypt_ni<14>(s, chain, in, out, blocks);
  }
}

QRVL_AESNI void cbc_decrypt_blocks_ni(const CAES_schedule *s, uint8_t chain[16],
                                      const uint8_t *in, uint8_t *out, size_t blocks) {
  switch (s->rounds) {
    case 10: return cbc_decrypt_ni<10>(s, chain, in, out, blocks);
    case 12: return cbc_decrypt_ni<12>(s, chain, in, out, blocks);
    default: return cbc_decrypt_ni<14>(s, chain, in, out, blocks);
  }
}

bool runs_aesni(const platform::CpuFeatures &cpu) {
  return cpu.aesni && cpu.ssse3 && cpu.sse41;
}

}  // namespace

const AesEngine kAesNi = {"aesni",           EngineTier::kSse,  runs_aesni,
                          encrypt_blocks_ni, decrypt_blocks_ni, cbc_encrypt_blocks_ni,
                          cbc_decrypt_blocks_ni};

}  // namespace quorvel::detail

#if defined(QRVL_CRYPTO_X86_WIDE)

#define QRVL_VAES512 __attribute__((target("aes,vaes,avx512f,avx512bw")))
#define QRVL_VAES512_INLINE \
  __attribute__((always_inline, target("aes,vaes,avx512f,avx512bw"))) inline

namespace quorvel::detail {
namespace {

// ---- 512-bit registers: four blocks in each -------------------------------------

// Sixteen blocks per pass, in four registers; a last pass of fewer blocks
// loads and stores through byte masks.
constexpr size_t kWideBlocks = 16;

template <int Rounds>
QRVL_VAES512_INLINE void load_keys_x4(const CAES_schedule *schedule, __m512i *keys) {
  const __m128i lane_swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
#pragma GCC unroll 16
  for (int r = 0; r <= Rounds; ++r) {
    const __m128i words = _mm_loadu_si128(
        reinterpret_cast<const __m128i *>(schedule->round_keys + 4 * r));
    keys[r] = _mm512_maskz_broadcast_i32x4(0xffff, _mm_shuffle_epi8(words, lane_swap));
  }
}

// The bytes of register j (blocks 4j to 4j + 3) among the first `blocks`.
QRVL_VAES512_INLINE __mmask64 register_mask(size_t blocks, size_t j) {
  if (blocks >= 4 * j + 4) return ~__mmask64{0};
  if (blocks <= 4 * j) return 0;
  return (__mmask64{1} << (16 * (blocks - 4 * j))) - 1;
}

template <bool Masked>
QRVL_VAES512_INLINE __m512i load_x4(const uint8_t *p, __mmask64 mask) {
  return Masked ? _mm512_maskz_loadu_epi8(mask, p) : _mm512_loadu_si512(p);
}

template <bool Masked>
QRVL_VAES512_INLINE void store_x4(uint8_t *p, __mmask64 mask, __m512i x) {
  if (Masked) {
    _mm512_mask_storeu_epi8(p, mask, x);
  } else {
    _mm512_storeu_si512(p, x);
  }
}

template <int Rounds, bool Encrypt>
QRVL_VAES512_INLINE void rounds_x16(const __m512i *keys, __m512i *x) {
#pragma GCC unroll 4
  for (int j = 0; j < 4; ++j) x[j] = _mm512_xor_si512(x[j], keys[0]);
#pragma GCC unroll 16
  for (int r = 1; r < Rounds; ++r) {
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
      x[j] = Encrypt ? _mm512_aesenc_epi128(x[j], keys[r]) : _mm512_aesdec_epi128(x[j], keys[r]);
    }
  }
#pragma GCC unroll 4
  for (int j = 0; j < 4; ++j) {
    x[j] = Encrypt ? _mm512_aesenclast_epi128(x[j], keys[Rounds])
                   : _mm512_aesdeclast_epi128(x[j], keys[Rounds]);
  }
}

// Up to sixteen blocks; `blocks` is used only when Masked.
template <int Rounds, bool Encrypt, bool Masked>
QRVL_VAES512_INLINE void ecb_x16(const __m512i *keys, const uint8_t *in, uint8_t *out,
                                 size_t blocks) {
  __m512i x[4];
  __mmask64 mask[4];
#pragma GCC unroll 4
  for (size_t j = 0; j < 4; ++j) {
    mask[j] = Masked ? register_mask(blocks, j) : ~__mmask64{0};
    x[j] = load_x4<Masked>(in + 64 * j, mask[j]);
  }
  rounds_x16<Rounds, Encrypt>(keys, x);
#pragma GCC unroll 4
  for (size_t j = 0; j < 4; ++j) store_x4<Masked>(out + 64 * j, mask[j], x[j]);
}

template <int Rounds, bool Encrypt>
QRVL_VAES512 void ecb_vaes(const CAES_schedule *schedule, const uint8_t *in, uint8_t *out,
                           size_t blocks) {
  __m512i keys[Rounds + 1];
  load_keys_x4<Rounds>(schedule, keys);
  for (; blocks >= kWideBlocks; blocks -= kWideBlocks, in += 256, out += 256) {
    ecb_x16<Rounds, Encrypt, false>(keys, in, out, kWideBlocks);
  }
  if (blocks != 0) ecb_x16<Rounds, Encrypt, true>(keys, in, out, blocks);
}

// Up to sixteen blocks of CBC decryption.  Each register's previous
// ciphertexts start one block before it: for register 0 they are the
// chaining value and its first three blocks.  Everything is read before
// anything is written, so in may equal out.
template <int Rounds, bool Masked>
QRVL_VAES512_INLINE void cbc_decrypt_x16(const __m512i *keys, __m128i &chain, const uint8_t *in,
                                         uint8_t *out, size_t blocks) {
  __m512i x[4], previous[4];
  __mmask64 mask[4];
#pragma GCC unroll 4
  for (size_t j = 0; j < 4; ++j) {
    mask[j] = Masked ? register_mask(blocks, j) : ~__mmask64{0};
    x[j] = load_x4<Masked>(in + 64 * j, mask[j]);
  }
  previous[0] = _mm512_maskz_alignr_epi64(0xff, x[0], _mm512_maskz_broadcast_i32x4(0xffff, chain), 6);
#pragma GCC unroll 4
  for (size_t j = 1; j < 4; ++j) previous[j] = load_x4<Masked>(in + 64 * j - 16, mask[j]);
  chain = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * (blocks - 1)));
  rounds_x16<Rounds, false>(keys, x);
#pragma GCC unroll 4
  for (size_t j = 0; j < 4; ++j) {
    store_x4<Masked>(out + 64 * j, mask[j], _mm512_xor_si512(x[j], previous[j]));
  }
}

template <int Rounds>
QRVL_VAES512 void cbc_decrypt_vaes(const CAES_schedule *schedule, uint8_t chain[16],
                                   const uint8_t *in, uint8_t *out, size_t blocks) {
  __m512i keys[Rounds + 1];
  load_keys_x4<Rounds>(schedule, keys);
  __m128i iv = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chain));
  for (; blocks >= kWideBlocks; blocks -= kWideBlocks, in += 256, out += 256) {
    cbc_decrypt_x16<Rounds, false>(keys, iv, in, out, kWideBlocks);
  }
  if (blocks != 0) cbc_decrypt_x16<Rounds, true>(keys, iv, in, out, blocks);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(chain), iv);
}

// Fewer than four blocks would leave the wide registers mostly empty; the
// 128-bit code runs them sooner.
constexpr size_t kWideFrom = 4;

QRVL_VAES512 void encrypt_blocks_vaes(const CAES_schedule *s, const uint8_t *in, uint8_t *out,
                                      size_t blocks) {
  if (blocks < kWideFrom) return encrypt_blocks_ni(s, in, out, blocks);
  switch (s->rounds) {
    case 10: return ecb_vaes<10, true>(s, in, out, blocks);
    case 12: return ecb_vaes<12, true>(s, in, out, blocks);
    default: return ecb_vaes<14, true>(s, in, out, blocks);
  }
}

QRVL_VAES512 void decrypt_blocks_vaes(const CAES_schedule *s, const uint8_t *in, uint8_t *out,
                                      size_t blocks) {
  if (blocks < kWideFrom) return decrypt_blocks_ni(s, in, out, blocks);
  switch (s->rounds) {
    case 10: return ecb_vaes<10, false>(s, in, out, blocks);
    case 12: return ecb_vaes<12, false>(s, in, out, blocks);
    default: return ecb_vaes<14, false>(s, in, out, blocks);
  }
}

QRVL_VAES512 void cbc_decrypt_blocks_vaes(const CAES_schedule *s, uint8_t chain[16],
                                          const uint8_t *in, uint8_t *out, size_t blocks) {
  if (blocks < kWideFrom) return cbc_decrypt_blocks_ni(s, chain, in, out, blocks);
  switch (s->rounds) {
    case 10: return cbc_decrypt_vaes<10>(s, chain, in, out, blocks);
    case 12: return cbc_decrypt_vaes<12>(s, chain, in, out, blocks);
    default: return cbc_decrypt_vaes<14>(s, chain, in, out, blocks);
  }
}

bool runs_vaes512(const platform::CpuFeatures &cpu) {
  return cpu.aesni && cpu.vaes && cpu.avx512f && cpu.avx512bw;
}

}  // namespace

// CBC encryption is one block after another whatever the register width,
// so it is the AES-NI code.
const AesEngine kAesVaes512 = {"vaes512",           EngineTier::kAvx512, runs_vaes512,
                               encrypt_blocks_vaes, decrypt_blocks_vaes, cbc_encrypt_blocks_ni,
                               cbc_decrypt_blocks_vaes};

}  // namespace quorvel::detail

#endif  // QRVL_CRYPTO_X86_WIDE

#endif  // QRVL_CRYPTO_X86
