// Decimal writers for the fixed-width fields of timestamps and time texts,
// cheaper than a printf call on the trace path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::detail {

// Most characters put_zero_padded writes for min_digits <= 10.
inline constexpr size_t kZeroPaddedMax = 11;

// Writes value in decimal with at least min_digits digits, '0'-padded after
// any '-' (printf's "%0*d" counts the sign in its width: pass width - 1 for
// a negative value to match it).  Wider values are written in full.  Writes
// no terminating zero; returns the number of characters written, at most
// kZeroPaddedMax when min_digits <= 10.
inline size_t put_zero_padded(char *out, int32_t value, int min_digits) {
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0u);
  char *p = out;
  if (value < 0) *p++ = '-';
  for (int i = n; i < min_digits; ++i) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
  return static_cast<size_t>(p - out);
}

}  // namespace quorvel::detail
