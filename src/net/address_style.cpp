// A quick look at the shape of address text, before or instead of
// converting it.
#include <cstdint>

#include "quorvel/net.h"

namespace {

bool is_text_end(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_style_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' ||
         c == ':';
}

// ::ffff:a.b.c.d, the one IPv6 style with dots.
bool is_mapped_style(const char *text, int32_t n, int32_t dots, int32_t colons) {
  if (n < 14 || colons != 3 || dots != 3 || text[n - 1] == '.') return false;
  if (text[0] != ':' || text[1] != ':' || text[6] != ':') return false;
  for (int i = 2; i < 6; ++i)
    if (text[i] != 'f' && text[i] != 'F') return false;
  return true;
}

}  // namespace

extern "C" QRVL_API int32_t GetIPvStyle(const char *text) {
  if (text == nullptr) return 0;
  int32_t n = 0, dots = 0, colons = 0;
  for (char previous = '\0'; !is_text_end(text[n]); previous = text[n++]) {
    const char c = text[n];
    if (!is_style_char(c)) return 0;
    if (c == '.') {
      if (n == 0 || previous == '.' || previous == ':') return 0;
      ++dots;
    }
    if (c == ':') ++colons;
  }
  if (n == 0) return 0;
  if (colons == 0) return n >= 7 && dots == 3 && text[n - 1] != '.' ? 4 : 0;
  if (n < 2 || colons < 2) return 0;
  if (dots == 0) return 6;
  return is_mapped_style(text, n, dots, colons) ? 6 : 0;
}
