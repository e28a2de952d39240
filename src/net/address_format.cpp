// Address bytes to text: dotted decimal for IPv4; for IPv6 hex groups with
// the longest zero run compressed, and the mapped and compatible forms.
#include <cstdint>
#include <cstring>

#include "net/address_text.hpp"
#include "quorvel/net.h"

namespace quorvel::detail {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

char *write_decimal_octet(uint32_t v, char *o) {
  if (v >= 100) *o++ = static_cast<char>('0' + v / 100);
  if (v >= 10) *o++ = static_cast<char>('0' + v / 10 % 10);
  *o++ = static_cast<char>('0' + v % 10);
  return o;
}

char *write_hex_group(uint32_t v, char *o) {
  int shift = 12;
  while (shift > 0 && (v >> shift) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) *o++ = kHexDigits[(v >> shift) & 15];
  return o;
}

char *write_dotted(const uint8_t *a, char *o) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0) *o++ = '.';
    o = write_decimal_octet(a[i], o);
  }
  *o = '\0';
  return o;
}

bool all_zero(const uint8_t *a, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (a[i] != 0) return false;
  return true;
}

// The leftmost of the longest runs of zero groups: start and length (0
// when no group is zero).
void longest_zero_run(const uint16_t *groups, int *start, int *length) {
  *start = -1;
  *length = 0;
  for (int i = 0; i < 8;) {
    if (groups[i] != 0) {
      ++i;
      continue;
    }
    int end = i;
    while (end < 8 && groups[end] == 0) ++end;
    if (end - i > *length) {
      *start = i;
      *length = end - i;
    }
    i = end;
  }
}

}  // namespace

size_t write_ipv4_text(const uint8_t *address, char *out) {
  return static_cast<size_t>(write_dotted(address, out) - out);
}

size_t write_ipv6_text(const uint8_t *a, char *out) {
  const bool low_is_0_or_1 = all_zero(a + 12, 3) && a[15] <= 1;
  const bool mapped = all_zero(a, 10) && a[10] == 0xff && a[11] == 0xff;
  if (mapped || (all_zero(a, 12) && !low_is_0_or_1)) {
    char *o = out;
    *o++ = ':';
    *o++ = ':';
    if (mapped) {
      std::memcpy(o, "ffff:", 5);
      o += 5;
    }
    return static_cast<size_t>(write_dotted(a + 12, o) - out);
  }
  uint16_t groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = static_cast<uint16_t>(a[2 * i] << 8 | a[2 * i + 1]);
  int run_start, run_length;
  longest_zero_run(groups, &run_start, &run_length);
  char *o = out;
  for (int i = 0; i < 8; ++i) {
    if (i == run_start) {
      *o++ = ':';
      if (i == 0) *o++ = ':';
      i += run_length - 1;
      continue;
    }
    o = write_hex_group(groups[i], o);
    if (i < 7) *o++ = ':';
  }
  *o = '\0';
  return static_cast<size_t>(o - out);
}

}  // namespace quorvel::detail

extern "C" QRVL_API char *inet_ntopx(int32_t family, const void *src, char *dst, int32_t size) {
  if (src == nullptr || dst == nullptr) return nullptr;
  char text[quorvel::detail::kIpv6TextMax + 1];
  size_t length;
  const auto *bytes = static_cast<const uint8_t *>(src);
  if (family == QRVL_AF_INET)
    length = quorvel::detail::write_ipv4_text(bytes, text);
  else if (family == QRVL_AF_INET6)
    length = quorvel::detail::write_ipv6_text(bytes, text);
  else
    return nullptr;
  if (size <= 0 || length >= static_cast<size_t>(size)) return nullptr;
  std::memcpy(dst, text, length + 1);
  return dst;
}
