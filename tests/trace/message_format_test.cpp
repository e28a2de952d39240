// format_message must give exactly what vsnprintf gives, on the fast path
// and on the fall-back alike; the C library is the oracle.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "trace/message_format.hpp"

// Odd flag combinations are the point here; the oracle takes them too.
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-zero-length"
#pragma GCC diagnostic ignored "-Wformat-overflow"

namespace {

using Result = std::pair<std::string, int>;  // the text and the returned length

__attribute__((format(printf, 3, 4))) Result run(bool ours, size_t size, const char *format, ...) {
  char buffer[512];
  memset(buffer, 'Z', sizeof buffer);
  va_list args;
  va_start(args, format);
  int n = ours ? quorvel::detail::format_message(buffer, size, format, args)
               : vsnprintf(buffer, size, format, args);
  va_end(args);
  EXPECT_EQ(buffer[size], 'Z') << "wrote past the size for " << format;
  return {std::string(buffer), n};
}

// Runs one format with the same arguments through both, at a roomy size
// and at sizes that cut the output.
#define SAME(...)                                                            \
  do {                                                                       \
    for (size_t size : {size_t{400}, size_t{1}, size_t{2}, size_t{7}})       \
      EXPECT_EQ(run(true, size, __VA_ARGS__), run(false, size, __VA_ARGS__)) \
          << #__VA_ARGS__ << " size " << size;                               \
  } while (0)

TEST(MessageFormat, IntegersMatchTheCLibrary) {
  const int ints[] = {0, 1, -1, 7, 42, -42, 123456, INT_MAX, INT_MIN};
  for (int v : ints) {
    SAME("%d|%i|%5d|%-5d|%05d|%+d|% d|%.0d|%.3d|%8.3d|%-8.3d|%08.3d|%+.0d|% 05d", v, v, v, v, v, v,
         v, v, v, v, v, v, v, v);
    SAME("%u|%o|%x|%X|%#o|%#x|%#X|%#.0o|%#.0x|%#8.3x|%-#8x|%0#8x|%+u|% u", v, v, v, v, v, v, v, v,
         v, v, v, v, v, v);
    SAME("%hhd|%hd|%hhu|%hu|%hhx|%hx", v, v, v, v, v, v);
    SAME("%*d|%-*d|%*d|%.*d|%.*d|%*.*x", 6, v, 6, v, -6, v, 4, v, -4, v, 9, 5, v);
    SAME("%-05d|%-08x|%#.2o|%#5o", v, v, v, v);
  }
  const long long wide[] = {0, -1, LLONG_MIN, LLONG_MAX, 1234567890123LL};
  for (long long v : wide) {
    SAME("%lld|%lli|%llu|%llx|%llo|%ld|%lu|%lX", v, v, static_cast<unsigned long long>(v),
         static_cast<unsigned long long>(v), static_cast<unsigned long long>(v),
         static_cast<long>(v), static_cast<unsigned long>(v), static_cast<unsigned long>(v));
    SAME("%jd|%ju|%zd|%zu|%zx|%td|%tx", static_cast<intmax_t>(v), static_cast<uintmax_t>(v),
         static_cast<ptrdiff_t>(v), static_cast<size_t>(v), static_cast<size_t>(v),
         static_cast<ptrdiff_t>(v), static_cast<ptrdiff_t>(v));
  }
}

TEST(MessageFormat, TextAndLiteralsMatchTheCLibrary) {
  SAME("plain text with no conversion");
  SAME("");
  SAME("100%% sure %%");
  SAME("[%s][%10s][%-10s][%.2s][%.0s][%5.1s][%.20s]", "abc", "abc", "abc", "abc", "abc", "abc",
       "abc");
  SAME("[%c][%3c][%-3c][%c]", 'x', 'y', 'z', 0x1ff);
  SAME("%+s|% s|%#s|%+c", "a", "b", "c", 'd');
  SAME("[%*s][%-*s][%.*s]", 8, "w", -8, "w", 2, "wxyz");
  std::string longer(300, 'q');
  SAME("<%s>", longer.c_str());
}

TEST(MessageFormat, EverythingElseFallsBackToTheCLibrary) {
  int stored = 0;
  SAME("%f %e %g %a %.3f", 1.5, 2.5, 3.25, 0.5, 3.14159);
  SAME("%p %p", static_cast<void *>(&stored), static_cast<void *>(nullptr));
  SAME("%s and %.3s and %10s", static_cast<const char *>(nullptr),
       static_cast<const char *>(nullptr), static_cast<const char *>(nullptr));
  SAME("%2$s %1$s", "world", "hello");
  SAME("%5%|%-3%");
  SAME("%05s|%05c", "ab", 'c');
  SAME("%Lf|%lld", static_cast<long double>(2.5), 3LL);
  SAME("%ls|%lc", L"wide", static_cast<wint_t>(L'w'));
  // Arguments already taken by the fast path are read again from the start.
  SAME("%d %s %f", 7, "x", 0.25);
  SAME("trailing %");
  // Each on its own, so that no earlier conversion falls back first.
  SAME("%05c", 'c');
  SAME("%lc", static_cast<wint_t>(L'w'));
  SAME("[%2s][%3s]", "abc", "abc");
  SAME("% u", 5u);
  SAME("% x", 26u);
  SAME("% o", 8u);
#if !defined(_WIN32)
  // Widths and precisions that do not fit an int, and a width of INT_MIN.
  // (Not on Windows: mingw's printf, the oracle there, reserves stack for
  // the whole width and overflows its stack on these.)
  SAME("%99999999999d|", 5);
  SAME("%.99999999999d|", 5);
  SAME("%*d|", INT_MIN, 5);
#endif
}

}  // namespace
