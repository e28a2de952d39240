// Hex text to bytes and back, for writing published test vectors as they
// are printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace aes_sha_test {

inline std::vector<uint8_t> from_hex(const std::string &hex) {
  std::vector<uint8_t> out;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  int high = -1;
  for (char c : hex) {
    const int v = nibble(c);
    if (v < 0) continue;  // spaces group the bytes as printed
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

inline std::string to_hex(const uint8_t *p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

inline std::string to_hex(const std::vector<uint8_t> &v) { return to_hex(v.data(), v.size()); }

inline std::vector<uint8_t> bytes(const std::string &text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace aes_sha_test
