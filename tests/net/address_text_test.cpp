// Address text, masks and mixaddr: the rules case by case.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "quorvel.h"

namespace {

using Bytes16 = std::array<uint8_t, 16>;

// The other platform's IPv6 number (Windows 23, Linux 10) is no family here.
constexpr int32_t kForeignInet6 = QRVL_AF_INET6 == 23 ? 10 : 23;

Bytes16 groups(std::array<uint16_t, 8> g) {
  Bytes16 b{};
  for (int i = 0; i < 8; ++i) {
    b[2 * i] = static_cast<uint8_t>(g[i] >> 8);
    b[2 * i + 1] = static_cast<uint8_t>(g[i]);
  }
  return b;
}

std::string ntop6(const Bytes16 &b) {
  char text[64];
  const char *r = inet_ntopx(QRVL_AF_INET6, b.data(), text, sizeof text);
  return r == nullptr ? "(null)" : r;
}

TEST(AddressParse, Ipv6ResultsAndBytes) {
  struct Case {
    const char *text;
    int32_t result;
    std::array<uint16_t, 8> g;
  } cases[] = {
      {"::", 1, {}},
      {"::1", 1, {0, 0, 0, 0, 0, 0, 0, 1}},
      {"1::", 1, {1}},
      {"1::2:", 1, {1, 0, 0, 0, 0, 0, 0, 2}},  // a colon after the last group
      {"1:2:3:4:5:6:7:8:", 1, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"::ffff:1.2.3.4", 1, {0, 0, 0, 0, 0, 0xffff, 0x0102, 0x0304}},
      {"::1.2", 1, {0, 0, 0, 0, 0, 0, 0x0100, 0x0002}},  // shortened IPv4 part
      {"::1.2.3.4 and more", 1, {0, 0, 0, 0, 0, 0, 0x0102, 0x0304}},
      {"1:2:3:4:5:6:7:8", 1, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"FE80::aBcD", 1, {0xfe80, 0, 0, 0, 0, 0, 0, 0xabcd}},
      {"", 0, {}},                   {":", 0, {}},
      {":1::2", 0, {}},              {"1:::2", 0, {}},
      {"1::2::3", 0, {}},            {"12345::", 0, {}},
      {"1:2:3:4:5:6:7", 0, {}},      {"1:2:3:4:5:6:7:8:9", 0, {}},
      {"1:2:3:4:5:6:7::8", 0, {}},   {"::1:2:3:4:5:6:7:8", 0, {}},
      {"1:2:3:4:5:6:7:8::", 0, {}},  {"fe80::1%2", -1, {}},
      {"1:2:3:4:5:6:7:8:9:", -1, {}}, {"::ffff:1.2.3.256", -1, {}},
      {"::ffff:255.255.255.255", -1, {}}, {"::ab.1.2.3", -1, {}},
      {" ::1", -1, {}},  {"1:2:3:4:5:6:7:1.2.3.4", -1, {}},  // no room for the IPv4 part
  };
  for (const Case &c : cases) {
    Bytes16 out, expected;
    out.fill(0xee);
    expected.fill(0xee);
    EXPECT_EQ(inet_ptonx(QRVL_AF_INET6, c.text, out.data()), c.result) << c.text;
    EXPECT_EQ(out, c.result == 1 ? groups(c.g) : expected) << c.text;
  }
}

TEST(AddressParse, Ipv4AndArguments) {
  struct Case {
    const char *text;
    int32_t result;
    uint8_t b[4];
  } cases[] = {
      {"192.168.1.77", 1, {192, 168, 1, 77}}, {"10.1", 1, {10, 0, 0, 1}},
      {"0x7f.1", 1, {127, 0, 0, 1}},          {"010.0.0.1", 1, {8, 0, 0, 1}},
      {"3232235777", 1, {192, 168, 1, 1}},    {"1.2.3.4 x", 1, {1, 2, 3, 4}},
      {"255.255.255.255", 0, {0, 0, 0, 0}},   {"1.2.3.256", 0, {0, 0, 0, 0}},
      {"08.1.1.1", 0, {0, 0, 0, 0}},          {"", 0, {0, 0, 0, 0}},
      {"1.2.3.1234", 0, {0, 0, 0, 0}},        {"0.0.0.0", 1, {0, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    uint8_t out[4] = {0xee, 0xee, 0xee, 0xee};
    EXPECT_EQ(inet_ptonx(QRVL_AF_INET, c.text, out), c.result) << c.text;
    EXPECT_EQ(std::memcmp(out, c.b, 4), 0) << c.text;
  }
  uint8_t out[16] = {};
  EXPECT_EQ(inet_ptonx(QRVL_AF_INET, nullptr, out), -1);
  EXPECT_EQ(inet_ptonx(QRVL_AF_INET6, "::", nullptr), -1);
  EXPECT_EQ(inet_ptonx(kForeignInet6, "::", out), -1);
  EXPECT_EQ(inet_ptonx(0, "1.2.3.4", out), -1);
}

TEST(AddressFormat, Ipv6Forms) {
  struct Case {
    std::array<uint16_t, 8> g;
    const char *text;
  } cases[] = {
      {{}, "::"},                                {{0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
      {{1}, "1::"},                              {{0, 0, 0, 0, 0, 0, 0, 2}, "::0.0.0.2"},
      {{0, 0, 0, 0, 0, 0, 0x0102, 0x0304}, "::1.2.3.4"},
      {{0, 0, 0, 0, 0, 0xffff, 0, 0}, "::ffff:0.0.0.0"},
      {{0, 0, 0, 0, 0, 0xffff, 0xc0a8, 0x0101}, "::ffff:192.168.1.1"},
      {{0, 0, 0, 0, 0, 0xfffe, 0, 1}, "::fffe:0:1"}, {{1, 0, 2, 3, 4, 5, 6, 7}, "1::2:3:4:5:6:7"},
      {{1, 2, 3, 4, 5, 6, 7, 0}, "1:2:3:4:5:6:7::"}, {{1, 0, 0, 2, 0, 0, 3, 4}, "1::2:0:0:3:4"},
      {{0, 0, 1, 0, 0, 0, 2, 3}, "0:0:1::2:3"},  {{0xfe80, 0, 0, 0, 1, 0, 0, 0}, "fe80::1:0:0:0"},
      {{0xABCD, 0x0ef, 1, 2, 3, 4, 5, 6}, "abcd:ef:1:2:3:4:5:6"},
      {{0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff},
       "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
  };
  for (const Case &c : cases) EXPECT_EQ(ntop6(groups(c.g)), c.text);
}

TEST(AddressFormat, SizeAndArguments) {
  const uint8_t v4[4] = {192, 168, 10, 200};
  char dst[20];
  std::memset(dst, 'x', sizeof dst);
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET, v4, dst, 14), nullptr);  // 14 characters, no NUL room
  EXPECT_EQ(dst[0], 'x');
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET, v4, dst, 15), dst);
  EXPECT_STREQ(dst, "192.168.10.200");
  const Bytes16 one = groups({0, 0, 0, 0, 0, 0, 0, 1});
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET6, one.data(), dst, 3), nullptr);
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET6, one.data(), dst, 4), dst);
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET6, one.data(), dst, 0), nullptr);
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET6, one.data(), dst, -1), nullptr);
  EXPECT_EQ(inet_ntopx(kForeignInet6, one.data(), dst, 20), nullptr);
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET, nullptr, dst, 20), nullptr);
  EXPECT_EQ(inet_ntopx(QRVL_AF_INET, v4, nullptr, 20), nullptr);
}

TEST(AddressStyle, Classes) {
  struct Case {
    const char *text;
    int32_t style;
  } cases[] = {
      {"1.2.3.4", 4},        {"1.2.3.4 rest", 4},     {"999.1.1.1\t", 4},
      {"a.b.c.d", 4},        {"1.2.3.", 0},           {".1.2.3.4", 0},
      {"1..2.3.4", 0},       {"1.2.3", 0},            {"1.2.3.4.5", 0},
      {"1.2.34", 0},         {"g.1.1.1", 0},          {"", 0},
      {" 1.2.3.4", 0},       {"::", 6},               {"fe80::1\r\n", 6},
      {"::FFFF:1.2.3.4", 6}, {"::ffff:1.2.3.4", 6},   {"::fffe:1.2.3.4", 0},
      {"::ffff:1.2.3.", 0},  {"::ffff:1.2.3", 0},     {"::ffff::1.2.3.4", 0},
      {"1:2", 0},            {":", 0},                {"1::.2", 0},
      {"fe80::1%2", 0},      {"1.2.3.4\n", 4},       {"11.2.3.", 0},
      {"::ffff:1.2.3456", 0}, {"::ffff:1.2.34.", 0},  {"1:ff:ff:1.2.3.4", 0},
      {":1:ff:1.2.3.45", 0}, {"::ff:ff1.2.3.4", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(GetIPvStyle(c.text), c.style) << c.text;
  EXPECT_EQ(GetIPvStyle(nullptr), 0);
}

TEST(Masks, Ipv4MaskPrefixAndBroadcast) {
  struct Case {
    int32_t prefix;
    const char *text;
  } cases[] = {{24, "255.255.255.0"}, {20, "255.255.240.0"}, {-5, "0.0.0.0"},
               {0, "0.0.0.0"},        {1, "128.0.0.0"},      {31, "255.255.255.254"},
               {32, "255.255.255.255"}, {33, "255.255.255.255"}};
  for (const Case &c : cases) {
    char text[16];
    uint32_t mask = 1;
    MakeIPv4MaskAddr(c.prefix, text, &mask);
    EXPECT_STREQ(text, c.text);
    char back[16];
    EXPECT_STREQ(inet_ntopx(QRVL_AF_INET, &mask, back, 16), c.text);
    EXPECT_EQ(GetIPv4PrefixLen(mask), c.prefix < 0 ? 0 : c.prefix > 32 ? 32 : c.prefix);
  }
  MakeIPv4MaskAddr(8, nullptr, nullptr);
  EXPECT_EQ(GetIPv4PrefixLen(0x0f0f0f0fu), 16);  // bits counted, not a prefix

  const struct {
    const char *ip;
    int32_t prefix;
    const char *broadcast;  // nullptr: refused, out untouched
  } nets[] = {{"192.168.1.77", 24, "192.168.1.255"}, {"10.1.2.3", 0, "255.255.255.255"},
              {"10.1.2.3", 40, "10.1.2.3"},          {"::1", 24, nullptr},
              {"10.1.2", 24, nullptr}};
  for (const auto &n : nets) {
    char out[16] = "untouched";
    EXPECT_EQ(GetNBroadcastIP(n.ip, n.prefix, out), n.broadcast ? 0 : -1) << n.ip;
    EXPECT_STREQ(out, n.broadcast ? n.broadcast : "untouched") << n.ip;
  }
  EXPECT_EQ(GetNBroadcastIP("10.1.2.3", 12, nullptr), 0);
}

TEST(Masks, Ipv6MaskAndPrefix) {
  struct Case {
    int32_t prefix;
    const char *text;
  } cases[] = {{64, "ffff:ffff:ffff:ffff::"}, {0, "::"}, {-1, "::"},
               {59, "ffff:ffff:ffff:ffe0::"}, {1, "8000::"},
               {127, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe"},
               {200, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}};
  for (const Case &c : cases) {
    char text[40];
    Bytes16 mask;
    MakeIPv6MaskAddr(c.prefix, text, mask.data());
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(GetIPv6PrefixLen(mask.data()), c.prefix < 0 ? 0 : c.prefix > 128 ? 128 : c.prefix);
  }
  // Not contiguous: the walk stops at the first 0xff byte from the end.
  Bytes16 odd{};
  odd[0] = 0xff, odd[1] = 0x0f, odd[15] = 0x10;
  EXPECT_EQ(GetIPv6PrefixLen(odd.data()), 128 - (4 + 13 * 8 + 0));
  MakeIPv6MaskAddr(7, nullptr, nullptr);
}

TEST(Mixaddr, LengthAndByteOrder) {
  EXPECT_EQ(cstest_big_endian(), std::endian::native == std::endian::big ? 1 : 0);
  mixaddr a;
  std::memset(&a, 0, sizeof a);
  EXPECT_EQ(sizeof a, 28u);
  const std::pair<int, int32_t> lengths[] = {{QRVL_AF_INET6, 28},
                                             {QRVL_AF_INET, 16},
                                             {0, 16},
                                             {0x100 | QRVL_AF_INET6, 28},
                                             {kForeignInet6, 16}};
  for (auto [family, length] : lengths) {
    a.family = static_cast<uint16_t>(family);
    EXPECT_EQ(mixaddr_len(a), length) << family;
  }
  EXPECT_EQ(offsetof(mixaddr, v6.sin6_addr), 8u);
  EXPECT_EQ(offsetof(mixaddr, v4.sin_addr), 4u);
}

}  // namespace
