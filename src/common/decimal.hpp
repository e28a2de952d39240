// Decimal writers for the fixed-width fields of timestamps and time texts,
// cheaper than a printf call on the trace path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// The two digits of 00-99, "00" first: one load for two characters.
inline constexpr char kTwoDigits[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes value (0-99) as two digits.
inline void put_two_digits(char *out, uint32_t value) {
  out[0] = kTwoDigits[2 * value];
  out[1] = kTwoDigits[2 * value + 1];
}

// Most characters put_unsigned_decimal writes.
inline constexpr size_t kUnsignedMax = 10;

// Writes value in decimal without padding, two digits per step; returns the
// number of characters written.
inline size_t put_unsigned_decimal(char *out, uint32_t value) {
  char digits[kUnsignedMax];
  char *p = digits + kUnsignedMax;
  while (value >= 100u) {
    p -= 2;
    put_two_digits(p, value % 100u);
    value /= 100u;
  }
  if (value >= 10u) {
    p -= 2;
    put_two_digits(p, value);
  } else {
    *--p = static_cast<char>('0' + value);
  }
  size_t n = static_cast<size_t>(digits + kUnsignedMax - p);
  memcpy(out, p, n);
  return n;
}

}  // namespace quorvel::detail
