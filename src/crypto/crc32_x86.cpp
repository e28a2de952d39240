// CRC-32 by carry-less multiplication: the message is folded 64 bytes at a
// time into four 128-bit accumulators, those are folded into one, and the
// 128-bit remainder is reduced to 32 bits with two folding steps and a
// Barrett reduction.  Where the processor has VPCLMULQDQ and AVX-512, a
// second engine does the same folding with 512-bit registers (see below).
//
// Folding rests on one identity: a 128-bit block X = H * x^64 + L that
// stands D bits before the end of the folded region contributes
// X * x^D = H * x^(D+64) + L * x^D, and modulo P each power of x can be
// replaced by its 32-bit remainder.  Two 64 x 32-bit products therefore
// move X forward by D bits while keeping its residue mod P.
//
// Most significant bit first, the register is read in ordinary order (bit k
// is the coefficient of x^k), so 16-byte loads are byte-reversed.  In the
// reflected order bit k of the register is the coefficient of x^(127-k):
// plain little-endian loads already have that layout, and the constants are
// bit-reversed to match (see reflected_constants()).
#include "crypto/engine_tier.hpp"

#if defined(QRVL_CRYPTO_X86)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "crypto/kernels.hpp"

namespace quorvel::detail {
namespace {

// P(x) = x^32 + 0x04C11DB7, with the x^32 term.
constexpr uint64_t kPoly = 0x104C11DB7ull;

// x^k mod P: start from 1 and multiply by x k times, subtracting P whenever
// the x^32 term appears.
constexpr uint64_t x_pow_mod(unsigned k) {
  uint64_t r = 1;
  for (unsigned i = 0; i < k; ++i) {
    r <<= 1;
    if (r & (1ull << 32)) r ^= kPoly;
  }
  return r;
}

// floor(x^64 / P), the Barrett constant (degree 32), by long division.  The
// first step (x^64 - x^32 * P) is taken before the loop so that the
// remainder fits 64 bits.
constexpr uint64_t x64_div_p() {
  uint64_t quotient = 1ull << 32;
  uint64_t rem = (kPoly ^ (1ull << 32)) << 32;
  for (int d = 63; d >= 32; --d) {
    if ((rem >> d) & 1) {
      quotient |= 1ull << (d - 32);
      rem ^= kPoly << (d - 32);
    }
  }
  return quotient;
}

// v read over `width` bits from the other end.
constexpr uint64_t reverse_bits(uint64_t v, int width) {
  uint64_t r = 0;
  for (int i = 0; i < width; ++i) r |= ((v >> i) & 1) << (width - 1 - i);
  return r;
}

// The constants of one bit order, as pairs {low lane, high lane}.  fold(X,
// K) = X.lo * K.lo ^ X.hi * K.hi in both orders; reduce and barrett hold
// the final steps described with each order's reduce function.
struct alignas(16) ClmulConstants {
  uint64_t fold512[2];  // move a block forward by 4 x 128 bits
  uint64_t fold128[2];  // move a block forward by 128 bits
  uint64_t reduce[2];
  uint64_t barrett[2];
};

// Ordinary order: X.hi multiplies x^(D+64) mod P, X.lo x^D mod P.
constexpr ClmulConstants msb_constants() {
  return {{x_pow_mod(512), x_pow_mod(576)},
          {x_pow_mod(128), x_pow_mod(192)},
          {x_pow_mod(96), x_pow_mod(64)},
          {x64_div_p(), kPoly}};
}

// Reflected order.  A 64-bit lane a read as a polynomial over w_a bits
// (bit i is x^(w_a-1-i)) times a constant b read over w_b bits gives a
// product read over w_a + w_b - 1 bits; in the 128-bit register that is
// the true product times x^(129 - w_a - w_b).  Data lanes have w_a = 64, so
// a 33-bit constant (the remainder reversed and shifted up by one) adds a
// factor x^32, taken out of its exponent: X.lo (the high half, x^(D+64))
// uses x^(D+32), X.hi uses x^(D-32).  The reduction steps must not grow
// the degree, so they use 64-bit constants (factor x): x^95 and x^63.
constexpr uint64_t reflected33(unsigned k) { return reverse_bits(x_pow_mod(k), 32) << 1; }
constexpr uint64_t reflected64(unsigned k) { return reverse_bits(x_pow_mod(k), 32) << 32; }

constexpr ClmulConstants reflected_constants() {
  return {{reflected33(544), reflected33(480)},
          {reflected33(160), reflected33(96)},
          {reflected64(95), reflected64(63)},
          {reverse_bits(x64_div_p(), 33), reverse_bits(kPoly, 33)}};
}

constexpr ClmulConstants kMsbConstants = msb_constants();
constexpr ClmulConstants kReflectedConstants = reflected_constants();

// The remainders that the reflected constants are usually quoted with.
static_assert(kReflectedConstants.fold512[0] == 0x154442bd4ull &&
              kReflectedConstants.fold512[1] == 0x1c6e41596ull);
static_assert(kReflectedConstants.barrett[0] == 0x1f7011641ull &&
              kReflectedConstants.barrett[1] == 0x1db710641ull);
static_assert(kMsbConstants.barrett[0] == 0x104d101dfull);

// The pair {K.lo, K.hi} that moves a block forward by d bits, by the rules
// above: {x^d, x^(d+64)} in the ordinary order, {x^(d+32), x^(d-32)} in
// 33-bit reflected form.  The wide engine takes its constants from here.
constexpr uint64_t fold_lo(bool msb, unsigned d) {
  return msb ? x_pow_mod(d) : reflected33(d + 32);
}
constexpr uint64_t fold_hi(bool msb, unsigned d) {
  return msb ? x_pow_mod(d + 64) : reflected33(d - 32);
}

static_assert(fold_lo(true, 512) == kMsbConstants.fold512[0] &&
              fold_hi(true, 512) == kMsbConstants.fold512[1] &&
              fold_lo(false, 128) == kReflectedConstants.fold128[0] &&
              fold_hi(false, 128) == kReflectedConstants.fold128[1]);

#define QRVL_CLMUL_TARGET __attribute__((target("pclmul,ssse3,sse4.1")))

QRVL_CLMUL_TARGET inline __m128i load_constants(const uint64_t (&pair)[2]) {
  return _mm_load_si128(reinterpret_cast<const __m128i *>(pair));
}

// Sixteen message bytes in the register layout of the bit order.
template <bool kMsb>
QRVL_CLMUL_TARGET inline __m128i load_block(const uint8_t *p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  if constexpr (kMsb) {
    return _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  } else {
    return v;
  }
}

QRVL_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// R * x^32 mod P for R of degree < 128, ordinary order:
//   T = R.hi * (x^96 mod P) + R.lo * x^32          (degree < 96)
//   U = T.hi * (x^64 mod P) + T.lo                  (degree < 64)
//   q = floor(floor(U / x^32) * floor(x^64 / P) / x^32) = floor(U / P)
//   U - q * P, the low 32 bits.
QRVL_CLMUL_TARGET inline uint32_t reduce_msb(__m128i r) {
  const __m128i k = load_constants(kMsbConstants.reduce);
  const __m128i b = load_constants(kMsbConstants.barrett);
  const __m128i t =
      _mm_xor_si128(_mm_clmulepi64_si128(r, k, 0x01), _mm_slli_si128(_mm_move_epi64(r), 4));
  const __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(t, k, 0x11), _mm_move_epi64(t));
  const __m128i q = _mm_srli_epi64(_mm_clmulepi64_si128(_mm_srli_epi64(u, 32), b, 0x00), 32);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_xor_si128(u, _mm_clmulepi64_si128(q, b, 0x10))));
}

// The same steps in the reflected layout, where degree 127 is bit 0:
// T lands in bits 32..127 (R.hi moved down by 32 bits is R.hi * x^32), U in
// the high lane, floor(U / x^32) is its low 32 bits, q is the low 32 bits
// of the product, and the remainder is the top half of U - q * P.
QRVL_CLMUL_TARGET inline uint32_t reduce_reflected(__m128i r) {
  const __m128i k = load_constants(kReflectedConstants.reduce);
  const __m128i b = load_constants(kReflectedConstants.barrett);
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  const __m128i t = _mm_xor_si128(_mm_clmulepi64_si128(r, k, 0x00),
                                  _mm_slli_si128(_mm_srli_si128(r, 8), 4));
  const __m128i u = _mm_srli_si128(_mm_xor_si128(_mm_clmulepi64_si128(t, k, 0x10), t), 8);
  const __m128i q = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(u, low32), b, 0x00), low32);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(u, _mm_clmulepi64_si128(q, b, 0x10)), 1));
}

// The running value placed where it meets the first four message bytes.
template <bool kMsb>
QRVL_CLMUL_TARGET inline __m128i crc_in_register(uint32_t crc) {
  return kMsb ? _mm_set_epi32(static_cast<int>(crc), 0, 0, 0)
              : _mm_cvtsi32_si128(static_cast<int>(crc));
}

// Folds the whole 16-byte blocks of the last n bytes into x, reduces, and
// passes the final n % 16 bytes through the portable kernel.
template <bool kMsb>
QRVL_CLMUL_TARGET inline uint32_t crc32_finish(__m128i x, const uint8_t *p, size_t n) {
  const __m128i k128 = load_constants((kMsb ? kMsbConstants : kReflectedConstants).fold128);
  for (; n >= 16; n -= 16, p += 16) x = _mm_xor_si128(fold(x, k128), load_block<kMsb>(p));
  const uint32_t crc = kMsb ? reduce_msb(x) : reduce_reflected(x);
  return kMsb ? crc32_msb_portable(crc, p, n) : crc32_reflected_portable(crc, p, n);
}

// At least 64 bytes, in four 16-byte lanes.
template <bool kMsb>
QRVL_CLMUL_TARGET uint32_t crc32_fold(uint32_t crc, const uint8_t *p, size_t n) {
  const ClmulConstants &c = kMsb ? kMsbConstants : kReflectedConstants;
  __m128i x0 = _mm_xor_si128(load_block<kMsb>(p), crc_in_register<kMsb>(crc));
  __m128i x1 = load_block<kMsb>(p + 16);
  __m128i x2 = load_block<kMsb>(p + 32);
  __m128i x3 = load_block<kMsb>(p + 48);
  p += 64;
  n -= 64;
  const __m128i k512 = load_constants(c.fold512);
  for (; n >= 64; n -= 64, p += 64) {
    x0 = _mm_xor_si128(fold(x0, k512), load_block<kMsb>(p));
    x1 = _mm_xor_si128(fold(x1, k512), load_block<kMsb>(p + 16));
    x2 = _mm_xor_si128(fold(x2, k512), load_block<kMsb>(p + 32));
    x3 = _mm_xor_si128(fold(x3, k512), load_block<kMsb>(p + 48));
  }
  const __m128i k128 = load_constants(c.fold128);
  __m128i x = _mm_xor_si128(fold(x0, k128), x1);
  x = _mm_xor_si128(fold(x, k128), x2);
  x = _mm_xor_si128(fold(x, k128), x3);
  return crc32_finish<kMsb>(x, p, n);
}

// Below 64 bytes the sliced tables are as fast and need no setup.
constexpr size_t kFoldMin = 64;

uint32_t crc32_msb_clmul(uint32_t crc, const uint8_t *p, size_t n) {
  return n < kFoldMin ? crc32_msb_portable(crc, p, n) : crc32_fold<true>(crc, p, n);
}

uint32_t crc32_reflected_clmul(uint32_t crc, const uint8_t *p, size_t n) {
  return n < kFoldMin ? crc32_reflected_portable(crc, p, n) : crc32_fold<false>(crc, p, n);
}

bool runs_clmul(const platform::CpuFeatures &cpu) {
  return cpu.pclmulqdq && cpu.ssse3 && cpu.sse41;
}

}  // namespace

const Crc32Engine kCrc32Clmul = {"pclmulqdq", EngineTier::kSse, runs_clmul, crc32_msb_clmul,
                                 crc32_reflected_clmul};

}  // namespace quorvel::detail

#if defined(QRVL_CRYPTO_X86_WIDE)

// The same folding in 512-bit registers, each holding four consecutive
// 16-byte blocks (block j in 128-bit lane j, laid out as above): four
// registers fold 256 bytes per step, are folded into one, whose four lanes
// are folded into one 128-bit block for the reduction above.

namespace quorvel::detail {
namespace {

// Lane j of `lanes` moves its block forward by (3 - j) x 128 bits to the
// position of lane 3; lane 3 is already there, so its pair is zero.
struct WideConstants {
  alignas(64) uint64_t lanes[8];
  uint64_t fold2048[2];  // move a block forward by 16 x 128 bits
};

constexpr WideConstants wide_constants(bool msb) {
  return {{fold_lo(msb, 384), fold_hi(msb, 384), fold_lo(msb, 256), fold_hi(msb, 256),
           fold_lo(msb, 128), fold_hi(msb, 128), 0, 0},
          {fold_lo(msb, 2048), fold_hi(msb, 2048)}};
}

constexpr WideConstants kMsbWide = wide_constants(true);
constexpr WideConstants kReflectedWide = wide_constants(false);

#define QRVL_VPCLMUL_TARGET \
  __attribute__((target("pclmul,ssse3,sse4.1,vpclmulqdq,avx512f,avx512bw,avx512vl")))

// Broadcasts, lane shuffles and extracts are written in their zero-masking
// forms with every lane kept: GCC 12 warns that the plain forms read an
// undefined source.

// One 128-bit value in all four lanes.
QRVL_VPCLMUL_TARGET inline __m512i broadcast_lanes(__m128i v) {
  return _mm512_maskz_broadcast_i32x4(0xffff, v);
}

// Sixty-four message bytes, each 16-byte block as load_block lays it out.
template <bool kMsb>
QRVL_VPCLMUL_TARGET inline __m512i load_wide(const uint8_t *p) {
  const __m512i v = _mm512_loadu_si512(p);
  if constexpr (kMsb) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm512_shuffle_epi8(v, broadcast_lanes(reverse));
  } else {
    return v;
  }
}

// fold() in every lane, xored with `next`.
QRVL_VPCLMUL_TARGET inline __m512i fold_wide(__m512i x, __m512i k, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                   _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

// At least 256 bytes.
template <bool kMsb>
QRVL_VPCLMUL_TARGET uint32_t crc32_fold_wide(uint32_t crc, const uint8_t *p, size_t n) {
  const ClmulConstants &c = kMsb ? kMsbConstants : kReflectedConstants;
  const WideConstants &w = kMsb ? kMsbWide : kReflectedWide;
  __m512i x0 =
      _mm512_xor_si512(load_wide<kMsb>(p), _mm512_zextsi128_si512(crc_in_register<kMsb>(crc)));
  __m512i x1 = load_wide<kMsb>(p + 64);
  __m512i x2 = load_wide<kMsb>(p + 128);
  __m512i x3 = load_wide<kMsb>(p + 192);
  p += 256;
  n -= 256;
  const __m512i k2048 = broadcast_lanes(load_constants(w.fold2048));
  for (; n >= 256; n -= 256, p += 256) {
    x0 = fold_wide(x0, k2048, load_wide<kMsb>(p));
    x1 = fold_wide(x1, k2048, load_wide<kMsb>(p + 64));
    x2 = fold_wide(x2, k2048, load_wide<kMsb>(p + 128));
    x3 = fold_wide(x3, k2048, load_wide<kMsb>(p + 192));
  }
  const __m512i k512 = broadcast_lanes(load_constants(c.fold512));
  __m512i x = fold_wide(x0, k512, x1);
  x = fold_wide(x, k512, x2);
  x = fold_wide(x, k512, x3);
  for (; n >= 64; n -= 64, p += 64) x = fold_wide(x, k512, load_wide<kMsb>(p));
  const __m512i lanes = _mm512_load_si512(w.lanes);
  x = fold_wide(x, lanes, _mm512_maskz_mov_epi64(0xC0, x));
  // The sum of the four lanes: lanes j and j ^ 2, then j and j ^ 1.
  x = _mm512_xor_si512(x, _mm512_maskz_shuffle_i64x2(0xff, x, x, _MM_SHUFFLE(1, 0, 3, 2)));
  x = _mm512_xor_si512(x, _mm512_maskz_shuffle_i64x2(0xff, x, x, _MM_SHUFFLE(2, 3, 0, 1)));
  return crc32_finish<kMsb>(_mm512_maskz_extracti32x4_epi32(0xf, x, 0), p, n);
}

// Below 256 bytes the 128-bit engine runs: there are not four registers to fill.
constexpr size_t kWideMin = 256;

uint32_t crc32_msb_vpclmul512(uint32_t crc, const uint8_t *p, size_t n) {
  return n < kWideMin ? crc32_msb_clmul(crc, p, n) : crc32_fold_wide<true>(crc, p, n);
}

uint32_t crc32_reflected_vpclmul512(uint32_t crc, const uint8_t *p, size_t n) {
  return n < kWideMin ? crc32_reflected_clmul(crc, p, n) : crc32_fold_wide<false>(crc, p, n);
}

bool runs_vpclmul512(const platform::CpuFeatures &cpu) {
  return runs_clmul(cpu) && cpu.vpclmulqdq && cpu.avx512f && cpu.avx512bw && cpu.avx512vl;
}

}  // namespace

const Crc32Engine kCrc32Vpclmul512 = {"vpclmulqdq512", EngineTier::kAvx512, runs_vpclmul512,
                                      crc32_msb_vpclmul512, crc32_reflected_vpclmul512};

}  // namespace quorvel::detail

#endif  // QRVL_CRYPTO_X86_WIDE

#endif  // QRVL_CRYPTO_X86
