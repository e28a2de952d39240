// The patch_ routines against their C library namesakes on random texts and
// byte runs.  Every text and buffer is a heap block of exactly its size, so
// a routine that reads or writes a byte too many is caught.  Where the
// C library leaves a result open (the magnitude of a comparison, memcpy on
// overlapping regions) the documented value is checked as well.
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quorvel/runtime.h"
#include "fuzz_check.hpp"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

// A fresh block holding bytes, plus n more bytes.
char *block(const std::string &bytes, size_t extra = 0) {
  char *p = static_cast<char *>(std::malloc(bytes.size() + extra));
  std::memcpy(p, bytes.data(), bytes.size());
  return p;
}

// A zero-terminated text in a block of exactly its size.
char *text(const std::string &s) { return block(std::string(s.c_str()) + '\0'); }

int fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

int casecmp_model(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const int x = fold(static_cast<unsigned char>(a[i])), y = fold(static_cast<unsigned char>(b[i]));
    if (x != y || x == 0) return x - y;
  }
  return 0;
}

int memcmp_model(const unsigned char *a, const unsigned char *b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] - b[i];
  return 0;
}

void compare_texts(const char *a, const char *b, size_t n) {
  check(patch_strcmp(a, b) == sign(std::strcmp(a, b)));
  check(patch_strncmp(a, b, n) == sign(std::strncmp(a, b, n)));
  check(patch_strcasecmp(a, b) == casecmp_model(a, b, SIZE_MAX));
  check(sign(patch_strcasecmp(a, b)) == sign(strcasecmp(a, b)));
  check(patch_strncasecmp(a, b, n) == casecmp_model(a, b, n));
  check(sign(patch_strncasecmp(a, b, n)) == sign(strncasecmp(a, b, n)));
}

void search_texts(const char *a, const char *b, int32_t c) {
  check(patch_strlen(a) == static_cast<int32_t>(std::strlen(a)));
  check(patch_strcspn(a, b) == static_cast<int32_t>(std::strcspn(a, b)));
  check(patch_strchr(a, c) == std::strchr(a, static_cast<unsigned char>(c)));
  check(patch_strstr(a, b) == std::strstr(a, b));
  check(patch_strstr(nullptr, b) == nullptr && patch_strstr(a, nullptr) == nullptr);
}

void copy_texts(const std::string &a, const std::string &b, size_t n) {
  const size_t la = std::strlen(a.c_str()), lb = std::strlen(b.c_str());
  char *dst = block(std::string(a.c_str()) + '\0', lb);
  check(patch_strcat(dst, b.c_str()) == dst && std::strlen(dst) == la + lb);
  check(std::memcmp(dst, a.data(), la) == 0 && std::memcmp(dst + la, b.data(), lb) == 0);
  std::free(dst);

  dst = block("", lb + 1);
  check(patch_strcpy(dst, b.c_str()) == dst && std::strcmp(dst, b.c_str()) == 0);
  std::free(dst);

  char *mine = block(std::string(n, '\x7f')), *theirs = block(std::string(n, '\x7f'));
  check(patch_strncpy(mine, b.c_str(), n) == mine);
  std::strncpy(theirs, b.c_str(), n);
  check(std::memcmp(mine, theirs, n) == 0);
  std::free(mine);
  std::free(theirs);
}

// Both memory routines that may overlap, on one buffer: memmove as the
// C library does it, memcpy as an ascending byte loop.
void move_bytes(const std::string &bytes, size_t from, size_t to, size_t n) {
  char *mine = block(bytes), *theirs = block(bytes);
  check(patch_memmove(mine + to, mine + from, n) == mine + to);
  std::memmove(theirs + to, theirs + from, n);
  check(std::memcmp(mine, theirs, bytes.size()) == 0);
  std::memcpy(mine, bytes.data(), bytes.size());
  std::memcpy(theirs, bytes.data(), bytes.size());
  check(patch_memcpy(mine + to, mine + from, n) == mine + to);
  for (size_t i = 0; i < n; ++i) theirs[to + i] = theirs[from + i];
  check(std::memcmp(mine, theirs, bytes.size()) == 0);
  std::free(mine);
  std::free(theirs);
}

void memory_routines(FuzzedDataProvider &in, const std::string &a, const std::string &b) {
  const size_t n = in.ConsumeIntegralInRange<size_t>(0, a.size() < b.size() ? a.size() : b.size());
  char *x = block(a), *y = block(b);
  const int r = patch_memcmp(x, y, n);
  check(r == memcmp_model(reinterpret_cast<unsigned char *>(x), reinterpret_cast<unsigned char *>(y), n));
  check(sign(r) == sign(std::memcmp(x, y, n)));
  check(patch_memcpy(x, y, n) == x && std::memcmp(x, y, n) == 0);
  const int32_t c = in.ConsumeIntegral<int32_t>();
  check(patch_memset(y, c, n) == y);
  std::memset(x, c, n);
  check(std::memcmp(x, y, n) == 0);
  std::free(x);
  std::free(y);

  if (a.empty()) return;
  const size_t from = in.ConsumeIntegralInRange<size_t>(0, a.size());
  const size_t to = in.ConsumeIntegralInRange<size_t>(0, a.size());
  const size_t room = a.size() - (from > to ? from : to);
  move_bytes(a, from, to, in.ConsumeIntegralInRange<size_t>(0, room));
}

// One whole walk of a text; the position is the process's, so each walk
// starts from its own text and ends at the first NULL.
void tokens(const std::string &s, const char *delimiters) {
  char *mine = text(s), *theirs = text(s), *save = nullptr;
  char *p = patch_strtok(mine, delimiters), *q = strtok_r(theirs, delimiters, &save);
  for (;;) {
    check((p == nullptr) == (q == nullptr));
    if (p == nullptr) break;
    check(p - mine == q - theirs);
    p = patch_strtok(nullptr, delimiters);
    q = strtok_r(nullptr, delimiters, &save);
  }
  check(std::memcmp(mine, theirs, std::strlen(s.c_str()) + 1) == 0);
  std::free(mine);
  std::free(theirs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string a = in.ConsumeRandomLengthString(64);
  const std::string b = in.ConsumeRandomLengthString(64);
  const size_t n = in.ConsumeIntegralInRange<size_t>(0, 72);
  char *ta = text(a), *tb = text(b);
  compare_texts(ta, tb, n);
  compare_texts(ta, ta, n);
  search_texts(ta, tb, in.ConsumeIntegral<int32_t>());
  search_texts(ta, "", 0);
  copy_texts(a, b, n);
  tokens(a, tb);
  std::free(ta);
  std::free(tb);
  memory_routines(in, a, b);
  return 0;
}
