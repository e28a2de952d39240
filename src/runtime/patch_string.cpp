// The library's own string and memory routines.  They give one answer on
// every platform where C libraries differ: comparisons return exactly -1,
// 0 or 1 (or the folded byte difference), case folding ignores the locale,
// and memcpy has a defined order for overlapping regions.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quorvel/runtime.h"

namespace {

using Byte = unsigned char;

const Byte *bytes(const void *p) { return static_cast<const Byte *>(p); }
Byte *bytes(void *p) { return static_cast<Byte *>(p); }

// Only 'A'..'Z' fold; every other byte, 128..255 included, stays itself.
constexpr int fold(Byte c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool contains(const char *set, Byte c) {
  for (; *set != '\0'; ++set)
    if (static_cast<Byte>(*set) == c) return true;
  return false;
}

int32_t sign_of_difference(Byte a, Byte b) { return a < b ? -1 : (a > b ? 1 : 0); }

// The token scanner's saved position: one for the whole process.
char *strtok_position = nullptr;

}  // namespace

extern "C" QRVL_API int32_t patch_strlen(const char *s) {
  const char *end = s;
  while (*end != '\0') ++end;
  return static_cast<int32_t>(end - s);
}

extern "C" QRVL_API int32_t patch_strcspn(const char *s, const char *reject) {
  const char *p = s;
  while (*p != '\0' && !contains(reject, static_cast<Byte>(*p))) ++p;
  return static_cast<int32_t>(p - s);
}

extern "C" QRVL_API char *patch_strchr(const char *s, int32_t c) {
  const Byte wanted = static_cast<Byte>(c);
  for (;; ++s) {
    if (static_cast<Byte>(*s) == wanted) return const_cast<char *>(s);
    if (*s == '\0') return nullptr;
  }
}

extern "C" QRVL_API char *patch_strstr(const char *haystack, const char *needle) {
  if (haystack == nullptr || needle == nullptr) return nullptr;
  if (*needle == '\0') return const_cast<char *>(haystack);
  for (; *haystack != '\0'; ++haystack) {
    size_t i = 0;
    while (needle[i] != '\0' && haystack[i] == needle[i]) ++i;
    if (needle[i] == '\0') return const_cast<char *>(haystack);
  }
  return nullptr;
}

extern "C" QRVL_API char *patch_strcpy(char *dst, const char *src) {
  char *d = dst;
  while ((*d++ = *src++) != '\0') {
  }
  return dst;
}

extern "C" QRVL_API char *patch_strcat(char *dst, const char *src) {
  patch_strcpy(dst + patch_strlen(dst), src);
  return dst;
}

extern "C" QRVL_API char *patch_strncpy(char *dst, const char *src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i] != '\0'; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = '\0';
  return dst;
}

extern "C" QRVL_API int32_t patch_strncmp(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const Byte x = static_cast<Byte>(a[i]), y = static_cast<Byte>(b[i]);
    if (x != y || x == 0) return sign_of_difference(x, y);
  }
  return 0;
}

extern "C" QRVL_API int32_t patch_strcmp(const char *a, const char *b) {
  return patch_strncmp(a, b, SIZE_MAX);
}

extern "C" QRVL_API int32_t patch_strncasecmp(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int x = fold(static_cast<Byte>(a[i])), y = fold(static_cast<Byte>(b[i]));
    if (x != y || x == 0) return x - y;
  }
  return 0;
}

extern "C" QRVL_API int32_t patch_strcasecmp(const char *a, const char *b) {
  return patch_strncasecmp(a, b, SIZE_MAX);
}

extern "C" QRVL_API int32_t patch_memcmp(const void *a, const void *b, size_t n) {
  const Byte *x = bytes(a), *y = bytes(b);
  for (size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] - y[i];
  return 0;
}

namespace {

// Regions that do not overlap, or a destination below its source, give
// the same bytes whichever way they are copied, so the compiler may copy
// them in wide steps; only a destination inside the source must go byte
// by byte to repeat the leading bytes.
void copy_apart(Byte *__restrict d, const Byte *__restrict s, size_t n) {
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
}

void copy_ascending(Byte *d, const Byte *s, size_t n) {
  const uintptr_t to = reinterpret_cast<uintptr_t>(d), from = reinterpret_cast<uintptr_t>(s);
  if (to >= from + n || to + n <= from) return copy_apart(d, s, n);
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
}

}  // namespace

extern "C" QRVL_API void *patch_memcpy(void *dst, const void *src, size_t n) {
  copy_ascending(bytes(dst), bytes(src), n);
  return dst;
}

extern "C" QRVL_API void *patch_memset(void *dst, int32_t c, size_t n) {
  Byte *d = bytes(dst);
  const uint32_t word = static_cast<Byte>(c) * 0x01010101u;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) std::memcpy(d + i, &word, 4);
  for (; i < n; ++i) d[i] = static_cast<Byte>(c);
  return dst;
}

extern "C" QRVL_API void *patch_memmove(void *dst, const void *src, size_t n) {
  Byte *d = bytes(dst);
  const Byte *s = bytes(src);
  // Compared as integers: the regions may belong to different objects.
  if (reinterpret_cast<uintptr_t>(d) <= reinterpret_cast<uintptr_t>(s)) return patch_memcpy(dst, src, n);
  for (size_t i = n; i > 0; --i) d[i - 1] = s[i - 1];
  return dst;
}

extern "C" QRVL_API char *patch_strtok(char *s, const char *delimiters) {
  char *p = s != nullptr ? s : strtok_position;
  if (p == nullptr) return nullptr;
  while (*p != '\0' && contains(delimiters, static_cast<Byte>(*p))) ++p;
  if (*p == '\0') return nullptr;  // the saved position stays where it was
  char *token = p;
  while (*p != '\0' && !contains(delimiters, static_cast<Byte>(*p))) ++p;
  if (*p != '\0') *p++ = '\0';
  strtok_position = p;
  return token;
}
