// Address text to bytes.  IPv4 text is read exactly as the platform's
// inet_addr() reads it; IPv6 text by the grammar below, whose three
// results tell malformed text (0) from text that cannot be an address at
// all (-1).
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/platform.hpp"
#include "quorvel/net.h"

namespace {

namespace platform = quorvel::platform;

// Digit values of "0123456789abcdef" and "0123456789ABCDEF"; kNotHex for
// every other character.
constexpr uint8_t kNotHex = 0xff;
constexpr std::array<uint8_t, 256> make_hex_values() {
  std::array<uint8_t, 256> t{};
  for (auto &v : t) v = kNotHex;
  for (uint8_t i = 0; i < 10; ++i) t['0' + i] = i;
  for (uint8_t i = 0; i < 6; ++i) {
    t['a' + i] = static_cast<uint8_t>(10 + i);
    t['A' + i] = static_cast<uint8_t>(10 + i);
  }
  return t;
}
constexpr std::array<uint8_t, 256> kHexValues = make_hex_values();

int32_t ipv4_from_text(const char *src, uint8_t *dst) {
  const uint32_t address = platform::ipv4_text_to_address(src);
  const uint32_t stored = address == platform::kIpv4Rejected ? 0 : address;
  std::memcpy(dst, &stored, 4);
  return address == platform::kIpv4Rejected ? 0 : 1;
}

int32_t ipv6_from_text(const char *src, uint8_t *dst) {
  uint8_t bytes[16] = {};
  int filled = 0, gap = -1;
  const char *p = src;
  if (*p == ':' && *++p != ':') return 0;
  // One group per pass: its digits, then the character that ends it.
  for (;;) {
    const char *group_start = p;
    uint32_t group = 0;
    int digits = 0;
    for (uint8_t d; (d = kHexValues[static_cast<uint8_t>(*p)]) != kNotHex; ++p) {
      if (++digits > 4) return 0;
      group = group << 4 | d;
    }
    const char c = *p++;
    if (c == ':' && digits == 0) {
      if (gap >= 0) return 0;
      gap = filled;
      continue;
    }
    if (c == ':' || (c == '\0' && digits > 0)) {
      if (filled == 16) return c == ':' ? -1 : 0;
      bytes[filled++] = static_cast<uint8_t>(group >> 8);
      bytes[filled++] = static_cast<uint8_t>(group);
      if (c == ':') continue;
      break;
    }
    if (c == '\0') break;
    if (c != '.') return -1;
    if (filled > 12 || ipv4_from_text(group_start, bytes + filled) != 1) return -1;
    filled += 4;
    break;
  }
  if (gap >= 0) {
    if (filled == 16) return 0;
    const int tail = filled - gap;
    std::memmove(bytes + 16 - tail, bytes + gap, static_cast<size_t>(tail));
    std::memset(bytes + gap, 0, static_cast<size_t>(16 - tail - gap));
  } else if (filled < 16) {
    return 0;
  }
  std::memcpy(dst, bytes, 16);
  return 1;
}

}  // namespace

extern "C" QRVL_API int32_t inet_ptonx(int32_t family, const char *src, void *dst) {
  if (src == nullptr || dst == nullptr) return -1;
  if (family == QRVL_AF_INET) return ipv4_from_text(src, static_cast<uint8_t *>(dst));
  if (family == QRVL_AF_INET6) return ipv6_from_text(src, static_cast<uint8_t *>(dst));
  return -1;
}
