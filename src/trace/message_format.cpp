// The fast path of format_message: the conversions trace messages use most,
// written out by hand to give exactly what the C library gives.
#include "trace/message_format.hpp"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "common/decimal.hpp"

namespace quorvel::detail {

namespace {

// Bounded output that keeps counting past the end, as vsnprintf does.
struct Out {
  char *p;
  char *end;  // the last byte, kept for the terminating zero
  size_t total;

  void put(char c) {
    if (p < end) *p++ = c;
    ++total;
  }
  void put(const char *s, size_t n) {
    size_t room = static_cast<size_t>(end - p);
    size_t k = n < room ? n : room;
    memcpy(p, s, k);
    p += k;
    total += n;
  }
  void pad(char c, size_t n) {
    while (n-- > 0) put(c);
  }
};

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;  // -1: none
};

enum class Length { kNone, kChar, kShort, kLong, kLongLong, kMax, kSize, kPtrdiff };

// Writes one integer conversion; magnitude is the absolute value.
void put_integer(Out &out, const Spec &spec, unsigned long long magnitude, bool negative,
                 bool is_signed, char conversion) {
  // The digits are written backwards from the end of digits; 0 gets none
  // (the precision supplies its "0").  Decimal goes two digits per step,
  // octal and hexadecimal by shifts.
  char digits[32];
  char *const digits_end = digits + sizeof digits;
  char *d = digits_end;
  unsigned long long v = magnitude;
  if (conversion == 'o' || conversion == 'x' || conversion == 'X') {
    const unsigned shift = conversion == 'o' ? 3u : 4u;
    const unsigned mask = (1u << shift) - 1u;
    const char *set = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    for (; v != 0; v >>= shift) *--d = set[v & mask];
  } else {
    for (; v >= 100u; v /= 100u) {
      d -= 2;
      put_two_digits(d, static_cast<uint32_t>(v % 100u));
    }
    if (v >= 10u) {
      d -= 2;
      put_two_digits(d, static_cast<uint32_t>(v));
    } else if (v != 0u) {
      *--d = static_cast<char>('0' + v);
    }
  }
  const int n = static_cast<int>(digits_end - d);
  int precision = spec.precision < 0 ? 1 : spec.precision;
  if (spec.alt && conversion == 'o' && precision <= n) precision = n + 1;
  const int zeros = precision > n ? precision - n : 0;

  char prefix[2];
  int prefix_length = 0;
  if (is_signed) {
    if (negative) {
      prefix[prefix_length++] = '-';
    } else if (spec.plus) {
      prefix[prefix_length++] = '+';
    } else if (spec.space) {
      prefix[prefix_length++] = ' ';
    }
  } else if (spec.alt && magnitude != 0 && (conversion == 'x' || conversion == 'X')) {
    prefix[prefix_length++] = '0';
    prefix[prefix_length++] = conversion;
  }

  const int body = prefix_length + zeros + n;
  const size_t fill = spec.width > body ? static_cast<size_t>(spec.width - body) : 0;
  const bool zero_fill = spec.zero && !spec.left && spec.precision < 0;
  if (!spec.left && !zero_fill) out.pad(' ', fill);
  if (prefix_length != 0) out.put(prefix, static_cast<size_t>(prefix_length));
  if (zero_fill) out.pad('0', fill);
  out.pad('0', static_cast<size_t>(zeros));
  out.put(d, static_cast<size_t>(n));
  if (spec.left) out.pad(' ', fill);
}

void put_text(Out &out, const Spec &spec, const char *s, size_t n) {
  const size_t fill = spec.width > 0 && static_cast<size_t>(spec.width) > n
                          ? static_cast<size_t>(spec.width) - n
                          : 0;
  if (!spec.left) out.pad(' ', fill);
  out.put(s, n);
  if (spec.left) out.pad(' ', fill);
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Reads a decimal field; false when it does not fit an int.
bool read_number(const char *&f, int *value) {
  long long v = 0;
  while (is_digit(*f)) {
    v = v * 10 + (*f++ - '0');
    if (v > INT_MAX) return false;
  }
  *value = static_cast<int>(v);
  return true;
}

// The fast path proper: false (output unspecified) when the format needs
// the C library.
__attribute__((format(printf, 2, 0))) bool format_fast(Out &out, const char *f, va_list args) {
  for (;;) {
    const char *literal = f;
    while (*f != '\0' && *f != '%') ++f;
    out.put(literal, static_cast<size_t>(f - literal));
    if (*f == '\0') return true;
    ++f;  // '%'
    if (*f == '%') {
      out.put('%');
      ++f;
      continue;
    }

    Spec spec;
    for (;; ++f) {
      if (*f == '-') {
        spec.left = true;
      } else if (*f == '+') {
        spec.plus = true;
      } else if (*f == ' ') {
        spec.space = true;
      } else if (*f == '#') {
        spec.alt = true;
      } else if (*f == '0') {
        spec.zero = true;
      } else {
        break;
      }
    }
    if (*f == '*') {
      int w = va_arg(args, int);
      ++f;
      if (w < 0) {
        if (w == INT_MIN) return false;
        spec.left = true;
        w = -w;
      }
      spec.width = w;
    } else if (!read_number(f, &spec.width) || *f == '$') {
      return false;  // positional arguments or an absurd width
    }
    if (*f == '.') {
      ++f;
      if (*f == '*') {
        int p = va_arg(args, int);
        ++f;
        spec.precision = p < 0 ? -1 : p;
      } else if (!read_number(f, &spec.precision)) {
        return false;
      }
    }

    Length length = Length::kNone;
    switch (*f) {
      case 'h':
        ++f;
        length = *f == 'h' ? (++f, Length::kChar) : Length::kShort;
        break;
      case 'l':
        ++f;
        length = *f == 'l' ? (++f, Length::kLongLong) : Length::kLong;
        break;
      case 'j':
        ++f;
        length = Length::kMax;
        break;
      case 'z':
        ++f;
        length = Length::kSize;
        break;
      case 't':
        ++f;
        length = Length::kPtrdiff;
        break;
      default:
        break;
    }

    const char conversion = *f++;
    switch (conversion) {
      case 'd':
      case 'i': {
        long long v;
        switch (length) {
          case Length::kChar:
            v = static_cast<signed char>(va_arg(args, int));
            break;
          case Length::kShort:
            v = static_cast<short>(va_arg(args, int));
            break;
          case Length::kLong:
            v = va_arg(args, long);
            break;
          case Length::kLongLong:
            v = va_arg(args, long long);
            break;
          case Length::kMax:
            v = va_arg(args, intmax_t);
            break;
          case Length::kSize:
            v = va_arg(args, std::make_signed_t<size_t>);
            break;
          case Length::kPtrdiff:
            v = va_arg(args, ptrdiff_t);
            break;
          default:
            v = va_arg(args, int);
            break;
        }
        const unsigned long long magnitude =
            v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        put_integer(out, spec, magnitude, v < 0, true, 'd');
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        unsigned long long v;
        switch (length) {
          case Length::kChar:
            v = static_cast<unsigned char>(va_arg(args, unsigned));
            break;
          case Length::kShort:
            v = static_cast<unsigned short>(va_arg(args, unsigned));
            break;
          case Length::kLong:
            v = va_arg(args, unsigned long);
            break;
          case Length::kLongLong:
            v = va_arg(args, unsigned long long);
            break;
          case Length::kMax:
            v = va_arg(args, uintmax_t);
            break;
          case Length::kSize:
            v = va_arg(args, size_t);
            break;
          case Length::kPtrdiff:
            v = static_cast<std::make_unsigned_t<ptrdiff_t>>(va_arg(args, ptrdiff_t));
            break;
          default:
            v = va_arg(args, unsigned);
            break;
        }
        // C libraries disagree on a space before an unsigned number and on
        // the alternate form of an octal 0 without digits: those go to the
        // C library, so that a line reads the same whichever way it is made.
        if (spec.space || (spec.alt && conversion == 'o' && spec.precision == 0)) return false;
        put_integer(out, spec, v, false, false, conversion);
        break;
      }
      case 'c': {
        if (length != Length::kNone || spec.zero) return false;
        const char c = static_cast<char>(static_cast<unsigned char>(va_arg(args, int)));
        put_text(out, spec, &c, 1);
        break;
      }
      case 's': {
        if (length != Length::kNone || spec.zero) return false;
        const char *s = va_arg(args, const char *);
        if (s == nullptr) return false;  // the C library's own "(null)" rules
        const size_t n =
            spec.precision < 0 ? strlen(s) : strnlen(s, static_cast<size_t>(spec.precision));
        put_text(out, spec, s, n);
        break;
      }
      default:
        return false;
    }
  }
}

}  // namespace

int format_message(char *buffer, size_t size, const char *format, va_list args) {
  va_list again;
  va_copy(again, args);
  Out out{buffer, buffer + size - 1, 0};
  int result;
  if (format_fast(out, format, args) && out.total <= static_cast<size_t>(INT_MAX)) {
    *out.p = '\0';
    result = static_cast<int>(out.total);
  } else {
    result = vsnprintf(buffer, size, format, again);
  }
  va_end(again);
  return result;
}

}  // namespace quorvel::detail
