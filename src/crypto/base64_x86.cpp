// Base64 with 256-bit (AVX2) and 512-bit (AVX-512 VBMI) registers.
//
// Encoding spreads each 3-byte group over four byte lanes and cuts out the
// four 6-bit fields with multiplies (AVX2) or multishift (VBMI), then maps
// them to characters.  Decoding maps characters to 6-bit values and packs
// them with multiply-adds.  The portable decoder does not validate: bytes
// outside the alphabet decode as 0 and '=' ends decoding.  The vector
// decoders only take blocks in which every character is in the alphabet and
// hand any other block to the portable kernel, so both give the same bytes
// and the same count for every input.
#include "crypto/engine_tier.hpp"

#if defined(QRVL_CRYPTO_X86_WIDE)

#include <immintrin.h>

#include "crypto/base64_tables.hpp"
#include "crypto/kernels.hpp"

namespace quorvel::detail {
namespace {

#define QRVL_AVX2 __attribute__((target("avx2")))
#define QRVL_VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))

// ---- AVX2 ----------------------------------------------------------------

// 24 bytes (12 in each 128-bit lane) to 32 characters.
QRVL_AVX2 inline __m256i encode_block_avx2(__m256i in) {
  // Each group b0 b1 b2 as the 32-bit lane b1 b0 b2 b1 (lowest byte first).
  const __m256i spread = _mm256_shuffle_epi8(
      in, _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                           1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
  // Fields 1 and 3 shifted down by a high multiply, fields 2 and 4 up by a
  // low one, each into the low six bits of its own byte.
  const __m256i f13 = _mm256_mulhi_epu16(_mm256_and_si256(spread, _mm256_set1_epi32(0x0fc0fc00)),
                                         _mm256_set1_epi32(0x04000040));
  const __m256i f24 = _mm256_mullo_epi16(_mm256_and_si256(spread, _mm256_set1_epi32(0x003f03f0)),
                                         _mm256_set1_epi32(0x01000010));
  const __m256i v = _mm256_or_si256(f13, f24);
  // Character = value + offset of its range: 0-25 'A', 26-51 'a', 52-61
  // '0', 62 '+', 63 '/'.  The range index is 13 for 0-25, 0 for 26-51 and
  // 1-12 for 52-63.
  __m256i range = _mm256_subs_epu8(v, _mm256_set1_epi8(51));
  range = _mm256_or_si256(
      range, _mm256_and_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(26), v), _mm256_set1_epi8(13)));
  const __m256i offsets =
      _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                       '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,  //
                       'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                       '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
  return _mm256_add_epi8(v, _mm256_shuffle_epi8(offsets, range));
}

QRVL_AVX2 void base64_encode_avx2(const uint8_t *in, size_t ngroups, char *out) {
  // Two 16-byte loads per 8 groups read 28 bytes: stop while 10 groups
  // (30 bytes) remain so no load passes the input.
  for (; ngroups >= 10; ngroups -= 8, in += 24, out += 32) {
    const __m256i x = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in))),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 12)), 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), encode_block_avx2(x));
  }
  base64_encode_portable(in, ngroups, out);
}

// 32 characters to their 6-bit values; sets *bad when any of them is not
// in the alphabet (including '=').
QRVL_AVX2 inline __m256i decode_values_avx2(__m256i chars, bool *bad) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i hi = _mm256_and_si256(_mm256_srli_epi32(chars, 4), nibble);
  const __m256i lo = _mm256_and_si256(chars, nibble);
  // A character is in the alphabet when the bit of its high nibble is
  // clear in the mask of its low nibble.  High nibbles: bit 0 for 0x2_,
  // 1 for 0x3_, 2 for 0x4_/0x6_, 3 for 0x5_/0x7_, 4 for all others (and
  // every low-nibble mask has bit 4, so those always fail).
  const __m256i lo_masks =
      _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1a, 0x1b,
                       0x1b, 0x1b, 0x1a, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                       0x13, 0x1a, 0x1b, 0x1b, 0x1b, 0x1a);
  const __m256i hi_bits =
      _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  *bad = !_mm256_testz_si256(_mm256_shuffle_epi8(lo_masks, lo), _mm256_shuffle_epi8(hi_bits, hi));
  // Value = character + offset by high nibble; '/' (0x2f) shares its
  // nibble with '+' (0x2b) and takes the entry below it.
  const __m256i offsets = _mm256_setr_epi8(
      0, '/' - 63, '+' - 62, '0' - 52, 'A', 'A', 'a' - 26, 'a' - 26, 0, 0, 0, 0, 0, 0, 0, 0,  //
      0, '/' - 63, '+' - 62, '0' - 52, 'A', 'A', 'a' - 26, 'a' - 26, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i slash = _mm256_cmpeq_epi8(chars, _mm256_set1_epi8('/'));
  const __m256i index = _mm256_add_epi8(hi, slash);
  return _mm256_sub_epi8(chars, _mm256_shuffle_epi8(offsets, index));
}

// Packs four 6-bit values per 32-bit lane into 3 bytes, 24 bytes in all,
// at the start of the register.
QRVL_AVX2 inline __m256i decode_pack_avx2(__m256i v) {
  const __m256i pairs = _mm256_maddubs_epi16(v, _mm256_set1_epi32(0x01400140));
  const __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
  const __m256i lanes = _mm256_shuffle_epi8(
      words, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                              2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
  return _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

QRVL_AVX2 size_t base64_decode_avx2(const char *in, size_t ngroups, uint8_t *out) {
  size_t done = 0;
  while (ngroups - done >= 8) {
    const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + 4 * done));
    bool bad;
    const __m256i v = decode_values_avx2(chars, &bad);
    if (bad) {
      // A '=' or a byte outside the alphabet: the portable kernel decides.
      const size_t run = base64_decode_portable(in + 4 * done, 8, out + 3 * done);
      done += run;
      if (run < 8) return done;
      continue;
    }
    // The 24 bytes and no more, so nothing past the decoded bytes changes.
    const __m256i bytes = decode_pack_avx2(v);
    uint8_t *to = out + 3 * done;
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(to + 16), _mm256_extracti128_si256(bytes, 1));
    done += 8;
  }
  return done + base64_decode_portable(in + 4 * done, ngroups - done, out + 3 * done);
}

// ---- AVX-512 VBMI --------------------------------------------------------

// Byte tables for the 64-byte permutes, built at compile time.
struct alignas(64) Table64 {
  uint8_t b[64];
};
struct alignas(64) Table128 {
  uint8_t b[128];
};

// Spreads 16 groups (48 bytes) as b1 b0 b2 b1 per 32-bit lane.
constexpr Table64 make_encode_spread() {
  Table64 t{};
  for (int g = 0; g < 16; ++g) {
    t.b[4 * g] = static_cast<uint8_t>(3 * g + 1);
    t.b[4 * g + 1] = static_cast<uint8_t>(3 * g);
    t.b[4 * g + 2] = static_cast<uint8_t>(3 * g + 2);
    t.b[4 * g + 3] = static_cast<uint8_t>(3 * g + 1);
  }
  return t;
}
constexpr Table64 kEncodeSpread = make_encode_spread();

constexpr Table64 make_alphabet() {
  Table64 t{};
  for (int i = 0; i < 64; ++i) t.b[i] = static_cast<uint8_t>(kBase64Alphabet[i]);
  return t;
}
constexpr Table64 kAlphabet = make_alphabet();

// The 6-bit value of every 7-bit character; 0x80 marks the ones outside
// the alphabet, '=' among them.
constexpr Table128 make_decode_values() {
  Table128 t{};
  for (auto &b : t.b) b = 0x80;
  for (int v = 0; v < 64; ++v)
    t.b[static_cast<uint8_t>(kBase64Alphabet[v])] = static_cast<uint8_t>(v);
  return t;
}
constexpr Table128 kDecodeValues = make_decode_values();

// Takes the three bytes of each packed 32-bit lane, highest first: 48 bytes.
constexpr Table64 make_decode_compact() {
  Table64 t{};
  for (int j = 0; j < 48; ++j) t.b[j] = static_cast<uint8_t>(4 * (j / 3) + 2 - j % 3);
  return t;
}
constexpr Table64 kDecodeCompact = make_decode_compact();

// The unmasked permute and multishift intrinsics start from an undefined
// register that GCC 12 reports as uninitialised; the zero-masked forms
// with every lane selected are the same instructions without the warning.
constexpr __mmask64 kAll = ~__mmask64{0};

QRVL_VBMI inline __m512i load_table(const Table64 &t) {
  return _mm512_load_si512(t.b);
}

// The low n bits set, n < 64.
inline __mmask64 low_bits(size_t n) { return (__mmask64{1} << n) - 1; }

// Encodes up to 16 groups: 3 * ngroups bytes in, 4 * ngroups characters out.
QRVL_VBMI inline void encode_block_vbmi(const uint8_t *in, size_t ngroups, char *out) {
  // Bit offsets of the four fields in each lane b1 b0 b2 b1: 10, 4, 22, 16.
  const __m512i shifts = _mm512_set1_epi64(0x3036242a1016040a);
  const __m512i x = _mm512_maskz_loadu_epi8(low_bits(3 * ngroups), in);
  const __m512i spread = _mm512_maskz_permutexvar_epi8(kAll, load_table(kEncodeSpread), x);
  const __m512i fields = _mm512_maskz_multishift_epi64_epi8(kAll, shifts, spread);
  // The permute reads only the low six bits of each field.
  const __m512i chars = _mm512_maskz_permutexvar_epi8(kAll, fields, load_table(kAlphabet));
  if (ngroups == 16) {
    _mm512_storeu_si512(out, chars);
  } else {
    _mm512_mask_storeu_epi8(out, low_bits(4 * ngroups), chars);
  }
}

QRVL_VBMI void base64_encode_vbmi(const uint8_t *in, size_t ngroups, char *out) {
  for (; ngroups >= 16; ngroups -= 16, in += 48, out += 64) encode_block_vbmi(in, 16, out);
  // The last groups by masked loads and stores, which touch no byte
  // outside the mask.
  if (ngroups != 0) encode_block_vbmi(in, ngroups, out);
}

// Decodes up to 16 groups as far as the first one holding a character
// outside the alphabet; returns the number of groups decoded.
QRVL_VBMI inline size_t decode_block_vbmi(const char *in, size_t ngroups, uint8_t *out) {
  const __mmask64 in_mask = ngroups == 16 ? kAll : low_bits(4 * ngroups);
  const __m512i chars = _mm512_maskz_loadu_epi8(in_mask, in);
  const __m512i v = _mm512_permutex2var_epi8(_mm512_load_si512(kDecodeValues.b), chars,
                                             _mm512_load_si512(kDecodeValues.b + 64));
  // Bit 7 of the character (not 7-bit) or of its value (not in the
  // alphabet), in the lanes that were loaded.
  const __mmask64 bad = _mm512_mask_test_epi8_mask(in_mask, _mm512_or_si512(chars, v),
                                                   _mm512_set1_epi8(-128));
  const size_t clean = bad == 0 ? ngroups : static_cast<size_t>(__builtin_ctzll(bad)) / 4;
  const __m512i pairs = _mm512_maddubs_epi16(v, _mm512_set1_epi32(0x01400140));
  const __m512i words = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
  _mm512_mask_storeu_epi8(out, low_bits(3 * clean),
                          _mm512_maskz_permutexvar_epi8(kAll, load_table(kDecodeCompact), words));
  return clean;
}

QRVL_VBMI size_t base64_decode_vbmi(const char *in, size_t ngroups, uint8_t *out) {
  size_t done = 0;
  while (done < ngroups) {
    const size_t n = ngroups - done < 16 ? ngroups - done : 16;
    const size_t clean = decode_block_vbmi(in + 4 * done, n, out + 3 * done);
    done += clean;
    if (clean < n) {
      // A '=' or a byte outside the alphabet: the portable kernel decides
      // the rest of the block.
      const size_t run = base64_decode_portable(in + 4 * done, n - clean, out + 3 * done);
      done += run;
      if (run < n - clean) return done;
    }
  }
  return done;
}

}  // namespace

const Base64Engine kBase64Avx2 = {"avx2", EngineTier::kAvx2,
                                  [](const platform::CpuFeatures &cpu) { return cpu.avx2; },
                                  base64_encode_avx2, base64_decode_avx2};

const Base64Engine kBase64Avx512Vbmi = {"avx512vbmi", EngineTier::kAvx512,
                                        [](const platform::CpuFeatures &cpu) {
                                          return cpu.avx2 && cpu.avx512f && cpu.avx512bw &&
                                                 cpu.avx512vbmi;
                                        },
                                        base64_encode_vbmi, base64_decode_vbmi};

}  // namespace quorvel::detail

#endif  // QRVL_CRYPTO_X86_WIDE
