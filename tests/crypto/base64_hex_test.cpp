// Base64 and hex codecs: RFC 4648 examples, refusal rules, buffer bounds,
// and OpenSSL's block codec on random input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes_sha_hex.hpp"
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
std::string str(const uint8_t *p, size_t n) {
  return {reinterpret_cast<const char *>(p), n};
}

// An output buffer with guard bytes after the capacity handed out.
struct Guarded {
  explicit Guarded(size_t capacity) : cap(capacity), mem(capacity + 16, 0xEE) {}
  uint8_t *u() { return mem.data(); }
  char *c() { return reinterpret_cast<char *>(mem.data()); }
  int32_t size() const { return static_cast<int32_t>(cap); }
  bool guard_intact() const { return untouched_from(cap); }
  bool untouched_from(size_t at) const {
    return std::all_of(mem.begin() + static_cast<ptrdiff_t>(at), mem.end(),
                       [](uint8_t b) { return b == 0xEE; });
  }
  size_t cap;
  std::vector<uint8_t> mem;
};

const char *const kRfc4648[][2] = {{"f", "Zg=="},         {"fo", "Zm8="},
                                   {"foo", "Zm9v"},       {"foob", "Zm9vYg=="},
                                   {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};

TEST(Base64, Rfc4648ExamplesBothWaysAndEncodeRefusals) {
  for (const auto &v : kRfc4648) {
    SCOPED_TRACE(v[1]);
    const int32_t text = len32(v[1]), data = len32(v[0]);
    Guarded exact(static_cast<size_t>(text) + 1), no_nul(static_cast<size_t>(text));
    EXPECT_EQ(ToBase64Simple(bytes(v[0]), data, exact.c(), exact.size()), text);
    EXPECT_STREQ(exact.c(), v[1]);
    EXPECT_TRUE(exact.guard_intact());
    // No room for the NUL: refused, the whole groups that fitted stay.
    EXPECT_EQ(ToBase64Simple(bytes(v[0]), data, no_nul.c(), no_nul.size()), 0);
    EXPECT_EQ(std::memcmp(no_nul.c(), v[1], static_cast<size_t>(text)), 0);
    EXPECT_TRUE(no_nul.guard_intact());

    Guarded room(static_cast<size_t>(data) + 1);
    EXPECT_EQ(FromBase64Simple(v[1], text, room.u(), room.size()), data);
    EXPECT_STREQ(room.c(), v[0]);
    EXPECT_TRUE(room.guard_intact());
  }
  // Too small for the second group: only the first is written.
  Guarded five(5), one(1), none(0);
  EXPECT_EQ(ToBase64Simple(bytes("foobar"), 6, five.c(), five.size()), 0);
  EXPECT_EQ(std::memcmp(five.c(), "Zm9v", 4), 0);
  EXPECT_TRUE(five.untouched_from(4));
  EXPECT_EQ(ToBase64Simple(bytes("x"), 0, one.c(), 1), 0);
  EXPECT_EQ(one.c()[0], '\0');
  EXPECT_EQ(ToBase64Simple(bytes("x"), -3, none.c(), 0), 0);
  EXPECT_EQ(ToBase64Simple(bytes("foo"), 3, none.c(), -1), 0);
  EXPECT_EQ(ToBase64Simple(nullptr, 3, none.c(), 16), 0);  // none has 16 guard bytes
  EXPECT_EQ(ToBase64Simple(bytes("foo"), 3, nullptr, 16), 0);
  EXPECT_TRUE(none.untouched_from(0));
}

TEST(Base64, DecodeIsLaxButBounded) {
  Guarded four(4);
  EXPECT_EQ(FromBase64Simple("QUJDREVG", 8, four.u(), 4), 0);
  EXPECT_TRUE(four.guard_intact());

  // Not validated: '!' reads as 0, '=' in places 1-2 as 99; a group ending in '=' ends it.
  const struct {
    const char *in;
    int32_t n;
    const char *out;
  } lax[] = {{"Z!==", 1, "\x64"},         {"=QUJ", 3, "\x8d\x05\x09"},
             {"Q=UJ", 3, "\x42\x35\x09"}, {"=QUJQUJD", 6, "\x8d\x05\x09\x41\x42\x43"},
             {"QUI=QUJD", 2, "AB"},       {"QQ==Q", 1, "A"}};
  uint8_t out[16];
  for (const auto &c : lax) {
    EXPECT_EQ(FromBase64Simple(c.in, len32(c.in), out, sizeof out), c.n) << c.in;
    EXPECT_EQ(str(out, static_cast<size_t>(c.n) + 1), std::string(c.out, c.n + 1u)) << c.in;
  }

  // A group cut short by in_len is refused once decoding reaches it.
  Guarded any(8);
  EXPECT_EQ(FromBase64Simple("QUJ", 3, any.u(), any.size()), 0);
  EXPECT_EQ(FromBase64Simple("QUJDQQ", 6, out, sizeof out), 0);
  // Early refusals write nothing either.
  EXPECT_EQ(FromBase64Simple("QUJD", 0, any.u(), any.size()), 0);
  EXPECT_EQ(FromBase64Simple("QUJD", -4, any.u(), any.size()), 0);
  EXPECT_EQ(FromBase64Simple("QUJD", 4, any.u(), 0), 0);
  EXPECT_EQ(FromBase64Simple(nullptr, 4, any.u(), any.size()), 0);
  EXPECT_EQ(FromBase64Simple("QUJD", 4, nullptr, 8), 0);
  EXPECT_TRUE(any.untouched_from(0));
}

TEST(Base64, CheckedAndUncheckedDecodeLoopsAgree) {
  // Roomy (unchecked loop) and exact (checked loop) buffers give the same bytes.
  std::mt19937 rng(99);
  const char pool[] = "AZaz09+/=!= \n\x80\xff";
  for (int round = 0; round < 2000; ++round) {
    const int32_t n = 4 * static_cast<int32_t>(1 + rng() % 12);
    std::string in(static_cast<size_t>(n), ' ');
    for (auto &c : in) c = pool[rng() % (sizeof pool - 1)];
    Guarded roomy(64);
    const int32_t got = FromBase64Simple(in.data(), n, roomy.u(), roomy.size());
    ASSERT_GT(got, 0);
    Guarded exact(static_cast<size_t>(got) + 1), short_by_one(static_cast<size_t>(got));
    ASSERT_EQ(FromBase64Simple(in.data(), n, exact.u(), exact.size()), got) << in;
    ASSERT_EQ(std::memcmp(exact.u(), roomy.u(), static_cast<size_t>(got) + 1), 0) << in;
    ASSERT_EQ(FromBase64Simple(in.data(), n, short_by_one.u(), short_by_one.size()), 0);
    ASSERT_TRUE(short_by_one.guard_intact());
  }
}

#if defined(QRVL_TEST_HAVE_OPENSSL)
TEST(Base64, MatchesOpenSslBlockCodecOnRandomInput) {
  std::mt19937_64 rng(4648);
  std::vector<uint8_t> data(4096), back(4096 + 1);
  std::vector<char> ours(5464 + 1), theirs(5464 + 1);
  auto *theirs_text = reinterpret_cast<unsigned char *>(theirs.data());
  for (int round = 0; round < 3000; ++round) {
    const int32_t n = static_cast<int32_t>(rng() % 4097);
    for (int32_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(rng());
    const int want = EVP_EncodeBlock(theirs_text, data.data(), n);
    ASSERT_EQ(ToBase64Simple(data.data(), n, ours.data(), static_cast<int32_t>(ours.size())), want);
    ASSERT_STREQ(ours.data(), theirs.data());
    // The text is the oracle's, so decoding it back to the data checks the decoder.
    if (n == 0) continue;
    ASSERT_EQ(FromBase64Simple(ours.data(), want, back.data(), n + 1), n);
    ASSERT_EQ(std::memcmp(back.data(), data.data(), n), 0);
  }
}
#endif

// Every line routed while a Hex test runs, as "level tag: message".
std::vector<std::string> g_reports;
void collect(const DebugInfo *info) {
  g_reports.push_back(std::to_string(info->level) + " " + (info->tag ? info->tag : "") + ": " +
                      info->message);
}
// The error line for an unreadable character c.
std::string illegal(unsigned c) {
  char text[96];
  std::snprintf(text, sizeof text,
                "3 quorvel: mmHexString2Data() occur an illegal character (0x%x)", c);
  return text;
}

class Hex : public ::testing::Test {
 protected:
  static void silent(const char *, int32_t) {}
  void SetUp() override {
    SetDebugOutput(silent);
    SetDebugMsgMask(0x1f);
    AddDebugInfoRoute(collect);
    g_reports.clear();
  }
  void TearDown() override { DelDebugInfoRoute(collect); }
};

TEST_F(Hex, EncodesLowerCaseAndReadsEitherCaseBack) {
  const uint8_t in[] = {0x01, 0xab, 0xff};
  // Every refusal below writes nothing into any.
  Guarded any(8), odd(2), back(256);
  EXPECT_EQ(mmData2HexString(in, 3, any.c(), 6), 0);  // no room for the NUL
  EXPECT_EQ(mmData2HexString(in, 0, any.c(), 8), 0);
  EXPECT_EQ(mmData2HexString(in, -1, any.c(), 8), 0);
  EXPECT_EQ(mmData2HexString(nullptr, 3, any.c(), 8), 0);
  EXPECT_EQ(mmData2HexString(in, 3, any.c(), -8), 0);
  EXPECT_EQ(mmData2HexString(in, 3, nullptr, 8), 0);

  EXPECT_EQ(mmHexString2Data("01abFF", 6, any.u(), 2), 0);
  // An odd length ends with a high half alone.
  EXPECT_EQ(mmHexString2Data("abc", 3, odd.u(), 2), 2);
  EXPECT_EQ(str(odd.u(), 2), "\xab\xc0");
  EXPECT_EQ(mmHexString2Data("abc", 3, odd.u(), 1), 0);
  EXPECT_EQ(mmHexString2Data("00", 0, any.u(), 4), 0);
  EXPECT_EQ(mmHexString2Data("00", -2, any.u(), 4), 0);
  EXPECT_EQ(mmHexString2Data(nullptr, 2, any.u(), 4), 0);
  EXPECT_EQ(mmHexString2Data("00", 2, any.u(), -1), 0);
  EXPECT_EQ(mmHexString2Data("00", 2, nullptr, 4), 0);
  EXPECT_TRUE(any.untouched_from(0));

  // Every byte value to text and back, in lower and upper case.
  uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  Guarded text(513);
  ASSERT_EQ(mmData2HexString(all, 256, text.c(), text.size()), 512);
  EXPECT_EQ(std::string(text.c()), aes_sha_test::to_hex(all, 256));
  EXPECT_TRUE(text.guard_intact());
  for (int upper = 0; upper < 2; ++upper) {
    ASSERT_EQ(mmHexString2Data(text.c(), 512, back.u(), back.size()), 256);
    EXPECT_EQ(std::memcmp(all, back.u(), 256), 0);
    EXPECT_TRUE(back.guard_intact());
    for (int i = 0; i < 512; ++i) text.c()[i] = static_cast<char>(std::toupper(text.c()[i]));
  }
  EXPECT_TRUE(g_reports.empty());
}

TEST_F(Hex, ReportsEachIllegalCharacterAndGoesOn) {
  // Low half reported first, bytes unsigned; each bad digit is 0, a NUL inside len too.
  const struct {
    const char *in;
    int32_t len, n;
    const char *out;
    std::vector<unsigned> bad;
  } cases[] = {{"1 2", 3, 2, "\x10\x20", {0x20}},
               {"-1", 2, 1, "\x01", {0x2d}},
               {"!?\xff\x37", 4, 2, "\0\x07", {0x3f, 0x21, 0xff}},
               {"g5Az", 4, 2, "\x05\xa0", {0x67, 0x7a}},
               {"a\0", 2, 1, "\xa0", {0}}};
  for (const auto &c : cases) {
    uint8_t out[4];
    EXPECT_EQ(mmHexString2Data(c.in, c.len, out, 4), c.n) << c.in;
    EXPECT_EQ(str(out, static_cast<size_t>(c.n)), std::string(c.out, static_cast<size_t>(c.n)));
    std::vector<std::string> want;
    for (unsigned b : c.bad) want.push_back(illegal(b));
    EXPECT_EQ(g_reports, want) << c.in;
    g_reports.clear();
  }
}

}  // namespace
