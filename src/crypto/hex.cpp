// Hex text: two lower-case digits per byte, and back.
#include "crypto/hash_kernels.hpp"
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
