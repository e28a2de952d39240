// AES engines on the processor's AES instructions: AES-NI on 128-bit
// registers and VAES on 256- and 512-bit ones.
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

// ---- VAES on 256- and 512-bit registers -------------------------------------------
//
// Both widths run one algorithm, in crypto/aes_vaes_wide.inc, over a
// description of the register (its type, its loads and stores, its AES
// instructions).  That file is compiled once per width, each time with the
// width's target attribute: the 256-bit engine must not be built with
// AVX-512 enabled, or the compiler could emit AVX-512 instructions in it.

namespace quorvel::detail {
namespace {

#define QRVL_VAES512 __attribute__((target("aes,vaes,avx512f,avx512bw")))
#define QRVL_VAES512_INLINE \
  __attribute__((always_inline, target("aes,vaes,avx512f,avx512bw"))) inline

// Four blocks per register; partial registers load and store through byte
// masks.
struct Zmm {
  using Reg = __m512i;
  using Mask = __mmask64;
  static constexpr size_t kBlocks = 4;
  static constexpr size_t kWideFrom = 4;

  static QRVL_VAES512_INLINE Reg broadcast(__m128i block) {
    return _mm512_maskz_broadcast_i32x4(0xffff, block);
  }
  static QRVL_VAES512_INLINE Reg load(const uint8_t *p) { return _mm512_loadu_si512(p); }
  static QRVL_VAES512_INLINE void store(uint8_t *p, Reg x) { _mm512_storeu_si512(p, x); }

  // The bytes of register j (blocks 4j to 4j + 3) among the first `blocks`.
  static QRVL_VAES512_INLINE Mask mask(size_t blocks, size_t j) {
    if (blocks >= 4 * j + 4) return ~Mask{0};
    if (blocks <= 4 * j) return 0;
    return (Mask{1} << (16 * (blocks - 4 * j))) - 1;
  }
  static QRVL_VAES512_INLINE Reg load(const uint8_t *p, Mask m) {
    return _mm512_maskz_loadu_epi8(m, p);
  }
  static QRVL_VAES512_INLINE void store(uint8_t *p, Mask m, Reg x) {
    _mm512_mask_storeu_epi8(p, m, x);
  }

  static QRVL_VAES512_INLINE Reg xor_(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
  static QRVL_VAES512_INLINE Reg enc(Reg x, Reg k) { return _mm512_aesenc_epi128(x, k); }
  static QRVL_VAES512_INLINE Reg dec(Reg x, Reg k) { return _mm512_aesdec_epi128(x, k); }
  static QRVL_VAES512_INLINE Reg enc_last(Reg x, Reg k) { return _mm512_aesenclast_epi128(x, k); }
  static QRVL_VAES512_INLINE Reg dec_last(Reg x, Reg k) { return _mm512_aesdeclast_epi128(x, k); }

  // The chaining value followed by the first three blocks of `first`.
  static QRVL_VAES512_INLINE Reg behind(__m128i chain, Reg first) {
    return _mm512_maskz_alignr_epi64(0xff, first, broadcast(chain), 6);
  }
};

namespace vaes512 {
using W = Zmm;
#define QRVL_WIDE QRVL_VAES512
#define QRVL_WIDE_INLINE QRVL_VAES512_INLINE
#include "crypto/aes_vaes_wide.inc"
#undef QRVL_WIDE
#undef QRVL_WIDE_INLINE
}  // namespace vaes512

#define QRVL_VAES256 __attribute__((target("aes,vaes,avx2")))
#define QRVL_VAES256_INLINE __attribute__((always_inline, target("aes,vaes,avx2"))) inline

// Two blocks per register; partial registers load and store through
// vpmaskmovq, whose masks are vectors with every bit of a lane set or clear.
struct Ymm {
  using Reg = __m256i;
  using Mask = __m256i;
  static constexpr size_t kBlocks = 2;
  // A four-block run would fill two of a pass's eight registers and still
  // pay for eight masked loads and stores; AES-NI runs it in about 60% of
  // the time.
  static constexpr size_t kWideFrom = 8;

  static QRVL_VAES256_INLINE Reg broadcast(__m128i block) {
    return _mm256_broadcastsi128_si256(block);
  }
  static QRVL_VAES256_INLINE Reg load(const uint8_t *p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
  }
  static QRVL_VAES256_INLINE void store(uint8_t *p, Reg x) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), x);
  }

  // The 64-bit lanes of register j (blocks 2j and 2j + 1) among the first
  // `blocks`: lane i belongs to block 2j + i / 2.
  static QRVL_VAES256_INLINE Mask mask(size_t blocks, size_t j) {
    const auto room = static_cast<long long>(blocks) - static_cast<long long>(2 * j);
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(room), _mm256_set_epi64x(1, 1, 0, 0));
  }
  static QRVL_VAES256_INLINE Reg load(const uint8_t *p, Mask m) {
    return _mm256_maskload_epi64(reinterpret_cast<const long long *>(p), m);
  }
  static QRVL_VAES256_INLINE void store(uint8_t *p, Mask m, Reg x) {
    _mm256_maskstore_epi64(reinterpret_cast<long long *>(p), m, x);
  }

  static QRVL_VAES256_INLINE Reg xor_(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
  static QRVL_VAES256_INLINE Reg enc(Reg x, Reg k) { return _mm256_aesenc_epi128(x, k); }
  static QRVL_VAES256_INLINE Reg dec(Reg x, Reg k) { return _mm256_aesdec_epi128(x, k); }
  static QRVL_VAES256_INLINE Reg enc_last(Reg x, Reg k) { return _mm256_aesenclast_epi128(x, k); }
  static QRVL_VAES256_INLINE Reg dec_last(Reg x, Reg k) { return _mm256_aesdeclast_epi128(x, k); }

  // The chaining value followed by the first block of `first`.
  static QRVL_VAES256_INLINE Reg behind(__m128i chain, Reg first) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(chain), _mm256_castsi256_si128(first), 1);
  }
};

namespace vaes256 {
using W = Ymm;
#define QRVL_WIDE QRVL_VAES256
#define QRVL_WIDE_INLINE QRVL_VAES256_INLINE
#include "crypto/aes_vaes_wide.inc"
#undef QRVL_WIDE
#undef QRVL_WIDE_INLINE
}  // namespace vaes256

bool runs_vaes512(const platform::CpuFeatures &cpu) {
  return cpu.aesni && cpu.vaes && cpu.avx512f && cpu.avx512bw;
}

bool runs_vaes256(const platform::CpuFeatures &cpu) {
  return cpu.aesni && cpu.vaes && cpu.avx2;
}

}  // namespace

// CBC encryption is one block after another whatever the register width,
// so it is the AES-NI code.
const AesEngine kAesVaes512 = {"vaes512",
                               EngineTier::kAvx512,
                               runs_vaes512,
                               vaes512::encrypt_blocks,
                               vaes512::decrypt_blocks,
                               cbc_encrypt_blocks_ni,
                               vaes512::cbc_decrypt_blocks};

const AesEngine kAesVaes256 = {"vaes256",
                               EngineTier::kAvx2,
                               runs_vaes256,
                               vaes256::encrypt_blocks,
                               vaes256::decrypt_blocks,
                               cbc_encrypt_blocks_ni,
                               vaes256::cbc_decrypt_blocks};

}  // namespace quorvel::detail

#endif  // QRVL_CRYPTO_X86_WIDE

#endif  // QRVL_CRYPTO_X86
