// Hex text: two lower-case digits per byte, and back.
#include <array>
#include <cstdint>

#include "common/library_log.hpp"
#include "quorvel/crypto.h"

namespace {

// "%02x" of every byte, first digit in the low byte.
constexpr std::array<uint16_t, 256> make_hex_pairs() {
  constexpr char digits[] = "0123456789abcdef";
  std::array<uint16_t, 256> t{};
  for (uint32_t v = 0; v < 256; ++v)
    t[v] = static_cast<uint16_t>(static_cast<uint8_t>(digits[v >> 4]) |
                                 static_cast<uint8_t>(digits[v & 15]) << 8);
  return t;
}
constexpr std::array<uint16_t, 256> kHexPairs = make_hex_pairs();

}  // namespace

extern "C" QRVL_API int32_t mmData2HexString(const uint8_t *data, int32_t len, char *out,
                                             int32_t out_size) {
  if (data == nullptr || out == nullptr || len <= 0) return 0;
  const int64_t n = 2 * int64_t{len};
  if (n + 1 > out_size) return 0;
  char *o = out;
  for (int32_t i = 0; i < len; ++i, o += 2) {
    const uint16_t pair = kHexPairs[data[i]];
    o[0] = static_cast<char>(pair & 0xff);
    o[1] = static_cast<char>(pair >> 8);
  }
  *o = '\0';
  return static_cast<int32_t>(n);
}

namespace {

constexpr char kIllegalHexText[] = "mmHexString2Data() occur an illegal character (0x%x)";

// Digit values; kNotHex for every character that is not a hex digit.
constexpr uint8_t kNotHex = 0xff;
constexpr std::array<uint8_t, 256> make_hex_values() {
  std::array<uint8_t, 256> t{};
  for (auto &v : t) v = kNotHex;
  for (uint8_t i = 0; i < 10; ++i) t['0' + i] = i;
  for (uint8_t i = 0; i < 6; ++i) {
    t['A' + i] = static_cast<uint8_t>(10 + i);
    t['a' + i] = static_cast<uint8_t>(10 + i);
  }
  return t;
}
constexpr std::array<uint8_t, 256> kHexValues = make_hex_values();

// A character that is no hex digit is reported and counts as 0.
uint32_t hex_digit(char c) {
  const auto byte = static_cast<uint8_t>(c);
  const uint8_t v = kHexValues[byte];
  if (v != kNotHex) return v;
  quorvel::detail::library_error(kIllegalHexText, static_cast<unsigned int>(byte));
  return 0;
}

}  // namespace

extern "C" QRVL_API int32_t mmHexString2Data(const char *hex, int32_t len, uint8_t *out,
                                             int32_t out_size) {
  if (hex == nullptr || out == nullptr) return 0;
  const int64_t m = len > 0 ? len : 0;
  const int64_t n = (m + 1) / 2;
  if (n > (out_size > 0 ? out_size : 0) || m == 0) return 0;
  for (int64_t i = 0; i < m / 2; ++i) {
    // The second digit of a pair is read (and reported) before the first.
    const uint32_t low = hex_digit(hex[2 * i + 1]);
    out[i] = static_cast<uint8_t>(hex_digit(hex[2 * i]) << 4 | low);
  }
  if (m % 2 != 0) out[n - 1] = static_cast<uint8_t>(hex_digit(hex[m - 1]) << 4);
  return static_cast<int32_t>(n);
}
