// Base64 (RFC 4648 alphabet, '=' padding, no line breaks) into and out of
// caller buffers.
#include "crypto/base64_tables.hpp"
#include "crypto/byte_order.hpp"
#include "crypto/kernels.hpp"
#include "quorvel/crypto.h"

namespace quorvel::detail {
namespace {

// Two output characters for every 12-bit value, first character in the
// low byte.
constexpr std::array<uint16_t, 4096> make_pair_table() {
  std::array<uint16_t, 4096> t{};
  for (uint32_t v = 0; v < 4096; ++v)
    t[v] = static_cast<uint16_t>(static_cast<uint8_t>(kBase64Alphabet[v >> 6]) |
                                 static_cast<uint8_t>(kBase64Alphabet[v & 63]) << 8);
  return t;
}
constexpr std::array<uint16_t, 4096> kPairs = make_pair_table();

// The decoding table spread over the four places of a group.  Each entry
// holds the character's six bits already in their place among the group's
// three output bytes, as a little-endian word (first byte lowest), so the
// four entries or'ed together are the bytes to store.  '=' sets kPadFlag
// (in the spare fourth byte) so one test spots it anywhere in a group.
constexpr uint32_t kPadFlag = 0x80000000u;
constexpr uint32_t place_bits(size_t place, uint32_t x) {
  switch (place) {
    case 0:
      return x << 2;
    case 1:
      return x >> 4 | (x & 15) << 12;
    case 2:
      return (x >> 2) << 8 | (x & 3) << 22;
    default:
      return x << 16;
  }
}
constexpr std::array<std::array<uint32_t, 256>, 4> make_place_tables() {
  std::array<std::array<uint32_t, 256>, 4> t{};
  for (size_t place = 0; place < 4; ++place)
    for (size_t c = 0; c < 256; ++c)
      t[place][c] =
          kBase64DecodeTable[c] == kBase64Pad ? kPadFlag : place_bits(place, kBase64DecodeTable[c]);
  return t;
}
constexpr std::array<std::array<uint32_t, 256>, 4> kPlaces = make_place_tables();

inline uint32_t place_word(const uint8_t *p) {
  return kPlaces[0][p[0]] | kPlaces[1][p[1]] | kPlaces[2][p[2]] | kPlaces[3][p[3]];
}

inline uint32_t group_value(const uint8_t *in) {
  return uint32_t{in[0]} << 16 | uint32_t{in[1]} << 8 | in[2];
}

}  // namespace

void base64_encode_portable(const uint8_t *in, size_t ngroups, char *out) {
  // Two groups per step from one 8-byte load while at least 8 bytes remain.
  for (; ngroups >= 3; ngroups -= 2, in += 6, out += 8) {
    const uint64_t x = load_be64(in);
    const uint32_t g0 = static_cast<uint32_t>(x >> 40);
    const uint32_t g1 = static_cast<uint32_t>(x >> 16) & 0xffffff;
    store_le64(out, uint64_t{kPairs[g0 >> 12]} | uint64_t{kPairs[g0 & 0xfff]} << 16 |
                           uint64_t{kPairs[g1 >> 12]} << 32 | uint64_t{kPairs[g1 & 0xfff]} << 48);
  }
  for (; ngroups != 0; --ngroups, in += 3, out += 4) {
    const uint32_t g = group_value(in);
    store_le32(out, uint32_t{kPairs[g >> 12]} | uint32_t{kPairs[g & 0xfff]} << 16);
  }
}

size_t base64_decode_portable(const char *in, size_t ngroups, uint8_t *out) {
  const auto *p = reinterpret_cast<const uint8_t *>(in);
  size_t done = 0;
  // Two groups per step with one 8-byte store while a third group follows
  // (the store runs two bytes past the six decoded ones).
  for (; done + 2 < ngroups; done += 2, p += 8, out += 6) {
    const uint32_t v0 = place_word(p), v1 = place_word(p + 4);
    if ((v0 | v1) & kPadFlag) break;
    store_le64(out, uint64_t{v0} | uint64_t{v1} << 24);
  }
  for (; done < ngroups; ++done, p += 4, out += 3) {
    const uint32_t v = place_word(p);
    if (v & kPadFlag) break;
    store_le32(out, v);
  }
  return done;
}

const Base64Engine kBase64Portable = {"portable", EngineTier::kPortable, runs_anywhere,
                                      base64_encode_portable, base64_decode_portable};

}  // namespace quorvel::detail

namespace {

using quorvel::detail::kBase64DecodeTable;
using quorvel::detail::kBase64Pad;

// Writes the first ngroups groups of the in_len bytes at in; the last
// group may be a short one, padded with '='.
void encode_groups(const uint8_t *in, int64_t in_len, int64_t ngroups, char *out) {
  const int64_t whole = ngroups < in_len / 3 ? ngroups : in_len / 3;
  quorvel::detail::base64_engine().encode(in, static_cast<size_t>(whole), out);
  if (whole == ngroups) return;
  in += 3 * whole;
  out += 4 * whole;
  const int64_t left = in_len - 3 * whole;  // 1 or 2
  const uint8_t b0 = in[0], b1 = left > 1 ? in[1] : 0;
  const char *abc = quorvel::detail::kBase64Alphabet;
  out[0] = abc[b0 >> 2];
  out[1] = abc[(b0 & 3) << 4 | b1 >> 4];
  out[2] = left > 1 ? abc[(b1 & 15) << 2] : '=';
  out[3] = '=';
}

// Decodes one group by the table values, '=' taking part as 99; returns
// how many bytes it yields (3, or 2 / 1 when it ends decoding).
int decode_group(const char *in, uint8_t bytes[3]) {
  const auto *p = reinterpret_cast<const uint8_t *>(in);
  const uint32_t x0 = kBase64DecodeTable[p[0]], x1 = kBase64DecodeTable[p[1]];
  const uint32_t x2 = kBase64DecodeTable[p[2]], x3 = kBase64DecodeTable[p[3]];
  bytes[0] = static_cast<uint8_t>(x0 * 4 + (x1 / 16 % 4));
  if (x2 == kBase64Pad) return 1;
  bytes[1] = static_cast<uint8_t>(x1 * 16 + (x2 / 4 % 16));
  if (x3 == kBase64Pad) return 2;
  bytes[2] = static_cast<uint8_t>(x2 * 64 + (x3 % 64));
  return 3;
}

}  // namespace

extern "C" QRVL_API int32_t ToBase64Simple(const uint8_t *in, int32_t in_len, char *out,
                                           int32_t out_size) {
  if (out == nullptr || in == nullptr) return 0;
  if (in_len <= 0) {
    if (out_size >= 1) out[0] = '\0';
    return 0;
  }
  const int64_t ngroups = (int64_t{in_len} + 2) / 3;
  const int64_t total = 4 * ngroups;
  if (total + 1 > out_size) {
    // Refused, but group by group as far as whole groups fit.
    const int64_t fit = out_size > 0 ? out_size / 4 : 0;
    encode_groups(in, in_len, fit < ngroups ? fit : ngroups, out);
    return 0;
  }
  encode_groups(in, in_len, ngroups, out);
  out[total] = '\0';
  return static_cast<int32_t>(total);
}

extern "C" QRVL_API int32_t FromBase64Simple(const char *in, int32_t in_len, uint8_t *out,
                                             int32_t out_size) {
  if (out_size <= 0 || in_len <= 0 || out == nullptr || in == nullptr) return 0;
  const int64_t ngroups = in_len / 4;
  const bool cut_short = in_len % 4 != 0;
  int64_t n = 0;  // bytes decoded
  int64_t g = 0;  // groups consumed
  if (3 * ngroups + 1 <= out_size) {
    // Room for whatever the whole groups can give: no checks in the loop.
    // The kernel stops at each group holding a '='; only a '=' in the
    // third or fourth place ends decoding.
    const auto decode_run = quorvel::detail::base64_engine().decode;
    while (g < ngroups) {
      const int64_t run = static_cast<int64_t>(
          decode_run(in + 4 * g, static_cast<size_t>(ngroups - g), out + n));
      g += run;
      n += 3 * run;
      if (g == ngroups) break;
      uint8_t bytes[3];
      const int k = decode_group(in + 4 * g, bytes);
      for (int i = 0; i < k; ++i) out[n + i] = bytes[i];
      n += k;
      ++g;
      if (k < 3) {
        out[n] = '\0';
        return static_cast<int32_t>(n);
      }
    }
  } else {
    for (; g < ngroups; ++g) {
      uint8_t bytes[3];
      const int k = decode_group(in + 4 * g, bytes);
      if (n + k + 1 > out_size) return 0;
      for (int i = 0; i < k; ++i) out[n + i] = bytes[i];
      n += k;
      if (k < 3) {
        out[n] = '\0';
        return static_cast<int32_t>(n);
      }
    }
  }
  // Decoding reached a group cut short by in_len: refuse rather than read
  // past the input or guess the missing characters.
  if (cut_short) return 0;
  out[n] = '\0';
  return static_cast<int32_t>(n);
}
