// The Base64 alphabet and its decoding table.
#pragma once

#include <array>
#include <cstdint>

namespace quorvel::detail {

// Base64 decoding table: alphabet characters give 0-63, '=' gives
// kBase64Pad, every other byte 0 (the decoder does not validate).
inline constexpr uint8_t kBase64Pad = 99;
inline constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::array<uint8_t, 256> make_base64_decode_table() {
  std::array<uint8_t, 256> t{};
  for (uint8_t v = 0; v < 64; ++v) t[static_cast<uint8_t>(kBase64Alphabet[v])] = v;
  t[static_cast<uint8_t>('=')] = kBase64Pad;
  return t;
}
inline constexpr std::array<uint8_t, 256> kBase64DecodeTable = make_base64_decode_table();

}  // namespace quorvel::detail
