// Base64 and hex codecs: RFC 4648 examples, refusal rules, buffer bounds,
// and OpenSSL's block codec on random input.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "quorvel/crypto.h"
#include "quorvel/trace.h"

#if defined(QRVL_TEST_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

const uint8_t *bytes(const char *s) {
  return reinterpret_cast<const uint8_t *>(s);
}
int32_t len32(const char *s) {
  return static_cast<int32_t>(std::strlen(s));
}

// An output buffer with guard bytes after the capacity handed out.
struct Guarded {
  explicit Guarded(size_t capacity) : cap(capacity), mem(capacity + 16, 0xEE) {}
  uint8_t *u() { return mem.data(); }
  char *c() { return reinterpret_cast<char *>(mem.data()); }
  int32_t size() const { return static_cast<int32_t>(cap); }
  bool guard_intact() const { return untouched_from(cap); }
  bool untouched_from(size_t at) const {
    for (size_t i = at; i < mem.size(); ++i)
      if (mem[i] != 0xEE) return false;
    return true;
  }
  size_t cap;
  std::vector<uint8_t> mem;
};

std::string str(const uint8_t *p, size_t n) {
  return std::string(reinterpret_cast<const char *>(p), n);
}

const char *const kRfc4648[][2] = {{"f", "Zg=="},         {"fo", "Zm8="},
                                   {"foo", "Zm9v"},       {"foob", "Zm9vYg=="},
                                   {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};

TEST(Base64, EncodesRfc4648ExamplesAndRefusesShortOutput) {
  for (const auto &v : kRfc4648) {
    const int32_t want = len32(v[1]);
    Guarded exact(static_cast<size_t>(want) + 1);
    EXPECT_EQ(ToBase64Simple(bytes(v[0]), len32(v[0]), exact.c(), exact.size()), want);
    EXPECT_STREQ(exact.c(), v[1]);
    EXPECT_TRUE(exact.guard_intact());

    // No room for the NUL: refused, the whole groups that fitted stay.
    Guarded no_nul(static_cast<size_t>(want));
    EXPECT_EQ(ToBase64Simple(bytes(v[0]), len32(v[0]), no_nul.c(), no_nul.size()), 0);
    EXPECT_EQ(std::memcmp(no_nul.c(), v[1], static_cast<size_t>(want)), 0);
    EXPECT_TRUE(no_nul.guard_intact());
  }

  // Too small for the second group: only the first is written.
  Guarded five(5);
  EXPECT_EQ(ToBase64Simple(bytes("foobar"), 6, five.c(), five.size()), 0);
  EXPECT_EQ(std::memcmp(five.c(), "Zm9v", 4), 0);
  EXPECT_TRUE(five.untouched_from(4));

  Guarded one(1);
  EXPECT_EQ(ToBase64Simple(bytes("x"), 0, one.c(), 1), 0);
  EXPECT_EQ(one.c()[0], '\0');
  Guarded none(0);
  EXPECT_EQ(ToBase64Simple(bytes("x"), -3, none.c(), 0), 0);
  EXPECT_EQ(ToBase64Simple(bytes("foo"), 3, none.c(), -1), 0);
  EXPECT_TRUE(none.untouched_from(0));
  char out[16];
  EXPECT_EQ(ToBase64Simple(nullptr, 3, out, 16), 0);
  EXPECT_EQ(ToBase64Simple(bytes("foo"), 3, nullptr, 16), 0);
}

TEST(Base64, DecodesGroupsAndRefusesWhatDoesNotFit) {
  for (const auto &v : kRfc4648) {
    const int32_t want = len32(v[0]);
    Guarded exact(static_cast<size_t>(want) + 1);
    EXPECT_EQ(FromBase64Simple(v[1], len32(v[1]), exact.u(), exact.size()), want) << v[1];
    EXPECT_STREQ(exact.c(), v[0]);
    EXPECT_TRUE(exact.guard_intact());
    Guarded tight(static_cast<size_t>(want));
    EXPECT_EQ(FromBase64Simple(v[1], len32(v[1]), tight.u(), tight.size()), 0) << v[1];
    EXPECT_TRUE(tight.guard_intact());
  }

  Guarded two(2);
  EXPECT_EQ(FromBase64Simple("QQ==", 4, two.u(), 2), 1);
  EXPECT_EQ(two.u()[0], 'A');
  EXPECT_EQ(two.u()[1], 0);
  Guarded three(3);
  EXPECT_EQ(FromBase64Simple("QUJD", 4, three.u(), 3), 0);
  EXPECT_TRUE(three.guard_intact());
  Guarded four(4);
  EXPECT_EQ(FromBase64Simple("QUJDREVG", 8, four.u(), 4), 0);
  EXPECT_TRUE(four.guard_intact());

  // Not validated: '!' reads as 0; '=' early in a group takes part as 99.
  uint8_t out[16];
  EXPECT_EQ(FromBase64Simple("Z!==", 4, out, sizeof out), 1);
  EXPECT_EQ(out[0], 0x64);
  EXPECT_EQ(FromBase64Simple("=QUJ", 4, out, sizeof out), 3);
  EXPECT_EQ(str(out, 3), "\x8d\x05\x09");
  EXPECT_EQ(FromBase64Simple("Q=UJ", 4, out, sizeof out), 3);
  EXPECT_EQ(str(out, 3), "\x42\x35\x09");
  EXPECT_EQ(FromBase64Simple("=QUJQUJD", 8, out, sizeof out), 6) << "only places 3 and 4 end it";
  EXPECT_EQ(str(out, 6),
            "\x8d\x05\x09"
            "ABC");
  // A group ending in '=' ends decoding; what follows is ignored.
  EXPECT_EQ(FromBase64Simple("QUI=QUJD", 8, out, sizeof out), 2);
  EXPECT_EQ(std::memcmp(out, "AB", 3), 0);
  EXPECT_EQ(FromBase64Simple("QQ==Q", 5, out, sizeof out), 1);

  // A group cut short by in_len is refused once decoding reaches it.
  Guarded cut(16);
  EXPECT_EQ(FromBase64Simple("QUJ", 3, cut.u(), cut.size()), 0);
  EXPECT_TRUE(cut.untouched_from(0));
  EXPECT_EQ(FromBase64Simple("QUJDQQ", 6, out, sizeof out), 0);

  // Early refusals write nothing.
  Guarded any(8);
  EXPECT_EQ(FromBase64Simple("QUJD", 0, any.u(), any.size()), 0);
  EXPECT_EQ(FromBase64Simple("QUJD", -4, any.u(), any.size()), 0);
  EXPECT_EQ(FromBase64Simple("QUJD", 4, any.u(), 0), 0);
  EXPECT_EQ(FromBase64Simple(nullptr, 4, any.u(), any.size()), 0);
  EXPECT_EQ(FromBase64Simple("QUJD", 4, nullptr, 8), 0);
  EXPECT_TRUE(any.untouched_from(0));
}

TEST(Base64, CheckedAndUncheckedDecodeLoopsAgree) {
  // A roomy buffer takes the unchecked loop, an exact one the checked
  // loop; alphabet, junk and '=' anywhere must give the same bytes.
  std::mt19937 rng(99);
  const char pool[] = "AZaz09+/=!= \n\x80\xff";
  for (int round = 0; round < 2000; ++round) {
    const int32_t n = 4 * static_cast<int32_t>(1 + rng() % 12);
    std::string in(static_cast<size_t>(n), ' ');
    for (auto &c : in) c = pool[rng() % (sizeof pool - 1)];
    Guarded roomy(64);
    const int32_t got = FromBase64Simple(in.data(), n, roomy.u(), roomy.size());
    ASSERT_GT(got, 0);
    Guarded exact(static_cast<size_t>(got) + 1);
    ASSERT_EQ(FromBase64Simple(in.data(), n, exact.u(), exact.size()), got) << in;
    ASSERT_EQ(std::memcmp(exact.u(), roomy.u(), static_cast<size_t>(got) + 1), 0) << in;
    Guarded short_by_one(static_cast<size_t>(got));
    ASSERT_EQ(FromBase64Simple(in.data(), n, short_by_one.u(), short_by_one.size()), 0);
    ASSERT_TRUE(short_by_one.guard_intact());
  }
}

#if defined(QRVL_TEST_HAVE_OPENSSL)
TEST(Base64, MatchesOpenSslBlockCodecOnRandomInput) {
  std::mt19937_64 rng(4648);
  std::vector<uint8_t> data(4096), theirs_bytes(4096 + 4);
  std::vector<char> ours(5464 + 1), theirs(5464 + 1);
  std::vector<uint8_t> back(4096 + 1);
  for (int round = 0; round < 3000; ++round) {
    const int32_t n = static_cast<int32_t>(rng() % 4097);
    for (int32_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(rng());
    const int want =
        EVP_EncodeBlock(reinterpret_cast<unsigned char *>(theirs.data()), data.data(), n);
    ASSERT_EQ(ToBase64Simple(data.data(), n, ours.data(), static_cast<int32_t>(ours.size())), want);
    ASSERT_STREQ(ours.data(), theirs.data());
    if (n == 0) continue;
    const int their_len =
        EVP_DecodeBlock(theirs_bytes.data(), reinterpret_cast<unsigned char *>(ours.data()), want);
    ASSERT_EQ(their_len, 3 * (want / 4));  // counts padding bytes too
    ASSERT_EQ(FromBase64Simple(ours.data(), want, back.data(), n + 1), n);
    ASSERT_EQ(std::memcmp(back.data(), theirs_bytes.data(), n), 0);
    ASSERT_EQ(std::memcmp(back.data(), data.data(), n), 0);
  }
}
#endif

TEST(Hex, EncodesLowerCasePairs) {
  const uint8_t in[] = {0x01, 0xab, 0xff};
  Guarded seven(7);
  EXPECT_EQ(mmData2HexString(in, 3, seven.c(), 7), 6);
  EXPECT_STREQ(seven.c(), "01abff");
  EXPECT_TRUE(seven.guard_intact());
  Guarded six(6);
  EXPECT_EQ(mmData2HexString(in, 3, six.c(), 6), 0);
  EXPECT_TRUE(six.untouched_from(0));
  Guarded any(8);
  EXPECT_EQ(mmData2HexString(in, 0, any.c(), 8), 0);
  EXPECT_EQ(mmData2HexString(in, -1, any.c(), 8), 0);
  EXPECT_EQ(mmData2HexString(nullptr, 3, any.c(), 8), 0);
  EXPECT_EQ(mmData2HexString(in, 3, any.c(), -8), 0);
  EXPECT_TRUE(any.untouched_from(0));
  EXPECT_EQ(mmData2HexString(in, 3, nullptr, 8), 0);

  uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  std::string want;
  char pair[3];
  for (int i = 0; i < 256; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", i);
    want += pair;
  }
  std::vector<char> out(513);
  EXPECT_EQ(mmData2HexString(all, 256, out.data(), 513), 512);
  EXPECT_EQ(std::string(out.data()), want);
}

struct Report {
  int32_t level;
  std::string tag, message;
};
std::vector<Report> g_reports;
void collect(const DebugInfo *info) {
  g_reports.push_back({info->level, info->tag ? info->tag : "", info->message});
}
std::string illegal(unsigned c) {
  char text[80];
  std::snprintf(text, sizeof text, "mmHexString2Data() occur an illegal character (0x%x)", c);
  return text;
}

class HexDecode : public ::testing::Test {
 protected:
  static void silent(const char *, int32_t) {}
  void SetUp() override {
    SetDebugOutput(silent);
    SetDebugMsgMask(0x1f);
    AddDebugInfoRoute(collect);
    g_reports.clear();
  }
  void TearDown() override { DelDebugInfoRoute(collect); }
  // The messages reported since the last call; each must be an error line
  // tagged "quorvel".
  std::vector<std::string> reports() {
    std::vector<std::string> out;
    for (const auto &r : g_reports) {
      EXPECT_EQ(r.level, 3);
      EXPECT_EQ(r.tag, "quorvel");
      out.push_back(r.message);
    }
    g_reports.clear();
    return out;
  }
};

TEST_F(HexDecode, ReadsPairsOfEitherCase) {
  Guarded three(3);
  EXPECT_EQ(mmHexString2Data("01abFF", 6, three.u(), 3), 3);
  EXPECT_EQ(str(three.u(), 3), "\x01\xab\xff");
  EXPECT_TRUE(three.guard_intact());
  Guarded two(2);
  EXPECT_EQ(mmHexString2Data("01abFF", 6, two.u(), 2), 0);
  EXPECT_TRUE(two.untouched_from(0));

  // An odd length ends with a high half alone.
  Guarded odd(2);
  EXPECT_EQ(mmHexString2Data("abc", 3, odd.u(), 2), 2);
  EXPECT_EQ(str(odd.u(), 2), "\xab\xc0");
  EXPECT_EQ(mmHexString2Data("abc", 3, odd.u(), 1), 0);

  Guarded any(4);
  EXPECT_EQ(mmHexString2Data("00", 0, any.u(), 4), 0);
  EXPECT_EQ(mmHexString2Data("00", -2, any.u(), 4), 0);
  EXPECT_EQ(mmHexString2Data(nullptr, 2, any.u(), 4), 0);
  EXPECT_EQ(mmHexString2Data("00", 2, any.u(), -1), 0);
  EXPECT_TRUE(any.untouched_from(0));
  EXPECT_EQ(mmHexString2Data("00", 2, nullptr, 4), 0);
  EXPECT_TRUE(reports().empty());

  // Every byte value back from its text, in lower and upper case.
  uint8_t all[256], back[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  std::vector<char> text(513);
  ASSERT_EQ(mmData2HexString(all, 256, text.data(), 513), 512);
  ASSERT_EQ(mmHexString2Data(text.data(), 512, back, 256), 256);
  EXPECT_EQ(std::memcmp(all, back, 256), 0);
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_EQ(mmHexString2Data(text.data(), 512, back, 256), 256);
  EXPECT_EQ(std::memcmp(all, back, 256), 0);
  EXPECT_TRUE(reports().empty());
}

TEST_F(HexDecode, ReportsEachIllegalCharacterAndGoesOn) {
  uint8_t out[4];
  EXPECT_EQ(mmHexString2Data("1 2", 3, out, 4), 2);
  EXPECT_EQ(str(out, 2), "\x10\x20");
  EXPECT_EQ(reports(), std::vector<std::string>{illegal(0x20)});

  EXPECT_EQ(mmHexString2Data("-1", 2, out, 4), 1);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(reports(), std::vector<std::string>{illegal(0x2d)});

  // Second character of a pair first; byte values above 0x7f unsigned.
  EXPECT_EQ(mmHexString2Data("!?\xff"
                             "7",
                             4, out, 4),
            2);
  EXPECT_EQ(str(out, 2), std::string("\0\x07", 2));
  EXPECT_EQ(reports(), (std::vector<std::string>{illegal(0x3f), illegal(0x21), illegal(0xff)}));

  // Letters past f are no digits either: reported, and worth 0 without
  // touching the other half of their byte.
  EXPECT_EQ(mmHexString2Data("g5Az", 4, out, 4), 2);
  EXPECT_EQ(str(out, 2), "\x05\xa0");
  EXPECT_EQ(reports(), (std::vector<std::string>{illegal(0x67), illegal(0x7a)}));

  // A NUL inside len is read like any other character.
  EXPECT_EQ(mmHexString2Data("a\0", 2, out, 4), 1);
  EXPECT_EQ(out[0], 0xa0);
  EXPECT_EQ(reports(), std::vector<std::string>{illegal(0)});
}

}  // namespace
