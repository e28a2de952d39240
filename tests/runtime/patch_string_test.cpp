// The patch_ routines against the C library on random texts from a small
// alphabet (so that prefixes, repeats and high bytes meet often), and the
// results where they pin down what the C library leaves open.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <strings.h>
#endif

#include <cstring>
#include <random>
#include <string>

#include "quorvel/runtime.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

#if defined(_WIN32)
// msvcrt's _stricmp, as wine has it, reads bytes past ASCII as signed chars:
// there the C library's strcmp compares copies with 'A'-'Z' folded.
std::string folded(const char *text) {
  std::string s = text;
  for (char &c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 'a' - 'A') : c;
  return s;
}
int c_strcasecmp(const char *a, const char *b) {
  return std::strcmp(folded(a).c_str(), folded(b).c_str());
}
int c_strncasecmp(const char *a, const char *b, size_t n) {
  return std::strncmp(folded(a).c_str(), folded(b).c_str(), n);
}
#else
int c_strcasecmp(const char *a, const char *b) { return strcasecmp(a, b); }
int c_strncasecmp(const char *a, const char *b, size_t n) { return strncasecmp(a, b, n); }
#endif

std::string random_text(std::mt19937 &rng) {
  static const char kAlphabet[] = "aAbB,\xE9\xC9";
  std::string s(rng() % 7, ' ');
  for (char &c : s) c = kAlphabet[rng() % 7];
  return s;
}

TEST(PatchString, AgreesWithTheCLibraryOnRandomTexts) {
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const std::string a = random_text(rng), b = random_text(rng);
    const char *x = a.c_str(), *y = b.c_str();
    const size_t n = rng() % 8;
    SCOPED_TRACE("a=\"" + a + "\" b=\"" + b + "\" n=" + std::to_string(n));
    ASSERT_EQ(patch_strlen(x), static_cast<int32_t>(std::strlen(x)));
    ASSERT_EQ(patch_strcspn(x, y), static_cast<int32_t>(std::strcspn(x, y)));
    ASSERT_EQ(patch_strchr(x, y[0]), std::strchr(x, y[0]));
    ASSERT_EQ(patch_strstr(x, y), std::strstr(x, y));
    ASSERT_EQ(patch_strcmp(x, y), sign(std::strcmp(x, y)));
    ASSERT_EQ(patch_strncmp(x, y, n), sign(std::strncmp(x, y, n)));
    ASSERT_EQ(sign(patch_strcasecmp(x, y)), sign(c_strcasecmp(x, y)));
    ASSERT_EQ(sign(patch_strncasecmp(x, y, n)), sign(c_strncasecmp(x, y, n)));
    const size_t common = std::min(a.size(), b.size()) + 1;
    const auto diff = std::mismatch(x, x + common, y);
    ASSERT_EQ(patch_memcmp(x, y, common),
              diff.first == x + common ? 0 : static_cast<unsigned char>(*diff.first) - static_cast<unsigned char>(*diff.second));

    char mine[32], theirs[32];
    std::memset(mine, '#', sizeof mine);
    std::memset(theirs, '#', sizeof theirs);
    ASSERT_EQ(patch_strncpy(mine, x, n), mine);
    std::strncpy(theirs, x, n);
    ASSERT_EQ(0, std::memcmp(mine, theirs, sizeof mine));
    ASSERT_EQ(patch_strcat(patch_strcpy(mine, x), y), mine);
    ASSERT_EQ(a + b, mine);
  }
}

TEST(PatchString, PinsDownWhatTheCLibraryLeavesOpen) {
  EXPECT_EQ(patch_strcmp("b", "a"), 1);
  EXPECT_EQ(patch_strcmp("a", "b"), -1);
  EXPECT_EQ(patch_strcmp("\xE9", "A"), 1);  // bytes compare unsigned
  EXPECT_EQ(patch_strcasecmp("Hello", "hello"), 0);
  EXPECT_EQ(patch_strcasecmp("a", "C"), -2);
  EXPECT_EQ(patch_strncasecmp("abZ", "ABx", 3), 'z' - 'x');
  EXPECT_EQ(patch_strcasecmp("\xC9", "\xE9"), 0xC9 - 0xE9);  // no folding past ASCII
  EXPECT_EQ(patch_memcmp("\x10", "\x01", 1), 15);
  EXPECT_EQ(patch_strstr("abc", nullptr), nullptr);
  EXPECT_EQ(patch_strstr(nullptr, "a"), nullptr);
  const char empty[] = "";
  EXPECT_EQ(patch_strstr(empty, ""), empty);
  const char ab[] = "ab";
  EXPECT_EQ(patch_strchr(ab, 'b' + 256), ab + 1);  // c is taken as a byte
}

TEST(PatchString, CopiesInTheirDocumentedOrder) {
  char text[] = "abcdef";
  patch_memcpy(text + 1, text, 5);  // ascending: the first byte repeats
  EXPECT_STREQ(text, "aaaaaa");
  char moved[] = "abcdef";
  patch_memmove(moved + 1, moved, 5);
  EXPECT_STREQ(moved, "aabcde");
  patch_memmove(moved, moved + 1, 5);
  EXPECT_STREQ(moved, "abcdee");
  // Regions that do not overlap, touching from either side or apart.
  char halves[] = "abcdefgh";
  EXPECT_EQ(patch_memcpy(halves + 4, halves, 4), halves + 4);
  EXPECT_STREQ(halves, "abcdabcd");
  std::memcpy(halves, "abcdefgh", 8);
  patch_memcpy(halves, halves + 4, 4);
  EXPECT_STREQ(halves, "efghefgh");
  const char source[] = "0123456789ABCDEFGHIJKLMNOPQRSTU";
  char copy[sizeof source];
  patch_memcpy(copy, source, sizeof source);
  EXPECT_STREQ(copy, source);
  for (size_t n = 0; n < 11; ++n) {
    unsigned char buf[12];
    std::memset(buf, 1, sizeof buf);
    patch_memset(buf, 0x1A5, n);  // only the low byte counts
    for (size_t i = 0; i < sizeof buf; ++i) ASSERT_EQ(buf[i], i < n ? 0xA5 : 1) << n << " " << i;
  }
}

TEST(PatchString, TokenPositionIsSharedAndSticksAtTheEnd) {
  EXPECT_EQ(patch_strtok(nullptr, ","), nullptr);  // nothing saved yet, or at an end
  char text[] = "a,,b";
  EXPECT_STREQ(patch_strtok(text, ","), "a");
  EXPECT_STREQ(patch_strtok(nullptr, ","), "b");
  EXPECT_EQ(patch_strtok(nullptr, ","), nullptr);
  EXPECT_EQ(patch_strtok(nullptr, ","), nullptr);
  char whole[] = " x y ";
  EXPECT_STREQ(patch_strtok(whole, ""), " x y ");
  char only_delimiters[] = ",,";
  char rest[] = "p q";
  EXPECT_STREQ(patch_strtok(rest, " "), "p");
  EXPECT_EQ(patch_strtok(only_delimiters, ","), nullptr);
  EXPECT_STREQ(patch_strtok(nullptr, " "), "q") << "a fruitless call keeps the saved position";
}

}  // namespace
