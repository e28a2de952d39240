// Hex text to bytes and back, for writing published test vectors as they
// are printed.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace aes_sha_test {

// Characters other than hex digits (the spaces grouping printed bytes) are skipped.
inline std::vector<uint8_t> from_hex(const std::string &hex) {
  std::string digits;
  for (char c : hex)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  return out;
}

inline std::string to_hex(const void *data, size_t n) {
  static const char digits[] = "0123456789abcdef";
  const auto *p = static_cast<const uint8_t *>(data);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += {digits[p[i] >> 4], digits[p[i] & 15]};
  return s;
}

inline std::string to_hex(const std::vector<uint8_t> &v) {
  return to_hex(v.data(), v.size());
}

inline std::vector<uint8_t> bytes(const std::string &text) {
  return {text.begin(), text.end()};
}

}  // namespace aes_sha_test
