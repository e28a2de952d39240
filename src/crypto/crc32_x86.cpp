// CRC-32 by carry-less multiplication: the message is folded 64 bytes at a
// time into four 128-bit accumulators, those are folded into one, and the
// 128-bit remainder is reduced to 32 bits with two folding steps and a
// Barrett reduction.
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

// At least 64 bytes: whole 16-byte blocks are folded, the last n % 16 bytes
// go through the portable kernel.
template <bool kMsb>
QRVL_CLMUL_TARGET uint32_t crc32_fold(uint32_t crc, const uint8_t *p, size_t n) {
  const ClmulConstants &c = kMsb ? kMsbConstants : kReflectedConstants;
  // The running value meets the first four message bytes.
  const __m128i init = kMsb ? _mm_set_epi32(static_cast<int>(crc), 0, 0, 0)
                            : _mm_cvtsi32_si128(static_cast<int>(crc));
  __m128i x0 = _mm_xor_si128(load_block<kMsb>(p), init);
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
  for (; n >= 16; n -= 16, p += 16) x = _mm_xor_si128(fold(x, k128), load_block<kMsb>(p));
  crc = kMsb ? reduce_msb(x) : reduce_reflected(x);
  return kMsb ? crc32_msb_portable(crc, p, n) : crc32_reflected_portable(crc, p, n);
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

#endif  // QRVL_CRYPTO_X86
