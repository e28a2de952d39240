// GetCrc32: CRC-32 most significant bit first, reflected CRC-32 (IEEE
// 802.3), and an additive byte checksum.
#include "crypto/byte_order.hpp"
#include "crypto/crc32_tables.hpp"
#include "crypto/kernels.hpp"
#include "quorvel/crypto.h"

namespace quorvel::detail {
namespace {

// Slicing by 16: S[k][i] is the register contribution of byte i followed by
// k zero bytes, so sixteen independent look-ups advance the register by
// sixteen bytes.  S[0] is the one-table step; S[k] is S[k-1] pushed through
// one more zero byte.
using SliceTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr SliceTables make_msb_slices() {
  SliceTables s{};
  s[0] = kCrc32MsbTable;
  for (size_t k = 1; k < 16; ++k)
    for (size_t i = 0; i < 256; ++i)
      s[k][i] = (s[k - 1][i] << 8) ^ kCrc32MsbTable[s[k - 1][i] >> 24];
  return s;
}

constexpr SliceTables make_reflected_slices() {
  SliceTables s{};
  s[0] = kCrc32ReflectedTable;
  for (size_t k = 1; k < 16; ++k)
    for (size_t i = 0; i < 256; ++i)
      s[k][i] = (s[k - 1][i] >> 8) ^ kCrc32ReflectedTable[s[k - 1][i] & 0xff];
  return s;
}

constexpr SliceTables kMsb = make_msb_slices();
constexpr SliceTables kRef = make_reflected_slices();

}  // namespace

// The byte of w that starts at bit shift, as a table index.
constexpr size_t byte_of(uint64_t w, int shift) { return static_cast<size_t>((w >> shift) & 0xff); }

// Only four of the sixteen look-ups depend on the running register; the
// other twelve are summed first and the four are combined in a balanced
// tree, which keeps the loop-carried chain to one look-up and three xors.
uint32_t crc32_msb_portable(uint32_t crc, const uint8_t *p, size_t n) {
  for (; n >= 16; n -= 16, p += 16) {
    const uint64_t a = load_be64(p);
    const uint64_t b = load_be64(p + 8);
    const uint32_t rest = (kMsb[11][byte_of(a, 24)] ^ kMsb[10][byte_of(a, 16)] ^
                           kMsb[9][byte_of(a, 8)] ^ kMsb[8][byte_of(a, 0)]) ^
                          (kMsb[7][byte_of(b, 56)] ^ kMsb[6][byte_of(b, 48)] ^
                           kMsb[5][byte_of(b, 40)] ^ kMsb[4][byte_of(b, 32)]) ^
                          (kMsb[3][byte_of(b, 24)] ^ kMsb[2][byte_of(b, 16)] ^
                           kMsb[1][byte_of(b, 8)] ^ kMsb[0][byte_of(b, 0)]);
    // The register meets the first four message bytes.
    const uint32_t x = static_cast<uint32_t>(a >> 32) ^ crc;
    crc = ((kMsb[15][x >> 24] ^ kMsb[14][(x >> 16) & 0xff]) ^
           (kMsb[13][(x >> 8) & 0xff] ^ kMsb[12][x & 0xff])) ^
          rest;
  }
  for (; n != 0; --n, ++p) crc = (crc << 8) ^ kCrc32MsbTable[(crc >> 24) ^ *p];
  return crc;
}

uint32_t crc32_reflected_portable(uint32_t crc, const uint8_t *p, size_t n) {
  for (; n >= 16; n -= 16, p += 16) {
    const uint64_t a = load_le64(p);
    const uint64_t b = load_le64(p + 8);
    const uint32_t rest = (kRef[11][byte_of(a, 32)] ^ kRef[10][byte_of(a, 40)] ^
                           kRef[9][byte_of(a, 48)] ^ kRef[8][byte_of(a, 56)]) ^
                          (kRef[7][byte_of(b, 0)] ^ kRef[6][byte_of(b, 8)] ^
                           kRef[5][byte_of(b, 16)] ^ kRef[4][byte_of(b, 24)]) ^
                          (kRef[3][byte_of(b, 32)] ^ kRef[2][byte_of(b, 40)] ^
                           kRef[1][byte_of(b, 48)] ^ kRef[0][byte_of(b, 56)]);
    // The register meets the first four message bytes.
    const uint32_t x = static_cast<uint32_t>(a) ^ crc;
    crc = ((kRef[15][x & 0xff] ^ kRef[14][(x >> 8) & 0xff]) ^
           (kRef[13][(x >> 16) & 0xff] ^ kRef[12][x >> 24])) ^
          rest;
  }
  for (; n != 0; --n, ++p) crc = (crc >> 8) ^ kCrc32ReflectedTable[(crc ^ *p) & 0xff];
  return crc;
}

uint32_t byte_sum_portable(uint32_t sum, const uint8_t *p, size_t n) {
  // Eight bytes per step in four 16-bit partial sums of byte pairs; each
  // step adds at most 2 * 255 to a lane, so lanes are folded into sum every
  // 128 steps, before they can overflow.
  constexpr uint64_t kEven = 0x00ff00ff00ff00ffull;
  while (n >= 8) {
    size_t steps = n / 8 < 128 ? n / 8 : 128;
    n -= steps * 8;
    uint64_t lanes = 0;
    for (; steps != 0; --steps, p += 8) {
      const uint64_t w = load_le64(p);
      lanes += (w & kEven) + ((w >> 8) & kEven);
    }
    lanes = (lanes & 0x0000ffff0000ffffull) + ((lanes >> 16) & 0x0000ffff0000ffffull);
    sum += static_cast<uint32_t>(lanes) + static_cast<uint32_t>(lanes >> 32);
  }
  for (; n != 0; --n, ++p) sum += *p;
  return sum;
}

const Crc32Engine kCrc32Portable = {"portable", EngineTier::kPortable, runs_anywhere,
                                    crc32_msb_portable, crc32_reflected_portable};

}  // namespace quorvel::detail

extern "C" QRVL_API uint32_t GetCrc32(int32_t mode, uint32_t crc, const uint8_t *data,
                                      uint32_t len) {
  switch (mode) {
    case 0:
      return quorvel::detail::crc32_engine().msb(crc, data, len);
    case 1:
      return quorvel::detail::crc32_engine().reflected(crc, data, len);
    case 2:
      return quorvel::detail::byte_sum(crc, data, len);
    default:
      return crc;
  }
}
