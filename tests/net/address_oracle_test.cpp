// inet_ptonx and inet_ntopx against the system's inet_pton, inet_ntop and
// inet_addr (the C library's, or Winsock's), over generated texts and byte patterns.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <winsock2.h>  // its text converters work without WSAStartup
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <array>
#include <cctype>
#include <cstring>
#include <random>
#include <string>

#include "quorvel.h"

namespace {

using Bytes16 = std::array<uint8_t, 16>;

bool is_hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool system_pton6(const std::string &text, Bytes16 *out) {
  return inet_pton(AF_INET6, text.c_str(), out->data()) == 1;
}

// ---- The documented differences from the C library, in one place ----------
//
// Reading IPv6 text (inet_ptonx against inet_pton):
//  1. The embedded IPv4 part (from the start of its group to the end of the
//     text) is read by inet_addr: shortened, octal and hex forms and trailing
//     white space with anything after it are accepted, 255.255.255.255 is
//     not.  The group before the first '.' must still be at most four hex
//     digits, since digits are read before the '.' is seen.
//  2. A ':' right after the last group is accepted: 1::2: reads as 1::2.
//  3. Refusals are 0 or -1 where the C library always says 0.
// Writing IPv6 text (inet_ntopx against inet_ntop):
//  4. A single zero group is compressed to "::" as well (the leftmost one).
//  5. An address whose first 12 bytes are zero is written ::a.b.c.d unless it
//     is :: or ::1, also when its seventh group is zero (the C library writes
//     ::2 for ::0.0.0.2).
//  6. An IPv4-mapped address is written ::ffff:a.b.c.d, also when its seventh
//     group is zero (Windows writes ::ffff:0:b for ::ffff:0.0.0.11).
bool expected_pton6(const std::string &text, Bytes16 *out) {
  const size_t dot = text.find('.');
  if (dot != std::string::npos) {  // 1
    const size_t colon = text.rfind(':', dot);
    const size_t start = colon == std::string::npos ? 0 : colon + 1;
    const std::string group = text.substr(start, dot - start);
    if (group.size() > 4 || group.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return false;
    const uint32_t v4 = inet_addr(text.c_str() + start);
    if (v4 == INADDR_NONE || !system_pton6(text.substr(0, start) + "1.2.3.4", out)) return false;
    std::memcpy(out->data() + 12, &v4, 4);
    return true;
  }
  const size_t n = text.size();
  if (n >= 2 && text[n - 1] == ':' && is_hex(text[n - 2]))  // 2
    return system_pton6(text.substr(0, n - 1), out);
  return system_pton6(text, out);
}

std::string expected_ntop6(const Bytes16 &b) {
  char text[INET6_ADDRSTRLEN];
  inet_ntop(AF_INET6, b.data(), text, sizeof text);
  std::string theirs = text;
  bool zero10 = true;
  for (int i = 0; i < 10; ++i) zero10 = zero10 && b[i] == 0;
  const bool zero12 = zero10 && b[10] == 0 && b[11] == 0;
  const bool zero_or_one = b[12] == 0 && b[13] == 0 && b[14] == 0 && b[15] <= 1;
  char dotted[16];
  inet_ntop(AF_INET, b.data() + 12, dotted, sizeof dotted);
  if (zero12 && !zero_or_one) return std::string("::") + dotted;                         // 5
  if (zero10 && b[10] == 0xff && b[11] == 0xff) return std::string("::ffff:") + dotted;  // 6
  if (theirs.find("::") != std::string::npos || theirs.find('.') != std::string::npos)
    return theirs;
  // 4: all eight groups are written out; the leftmost "0" group becomes "::".
  std::string t = ":" + theirs + ":";
  const size_t zero = t.find(":0:");
  if (zero == std::string::npos) return theirs;
  t.replace(zero, 3, "::");
  if (t.compare(0, 2, "::") != 0) t.erase(0, 1);
  if (t.compare(t.size() - 2, 2, "::") != 0) t.pop_back();
  return t;
}

// ---- Generators -------------------------------------------------------------

struct TextMaker {
  std::mt19937 rng{20240613};

  uint32_t pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng); }

  std::string hex_group() {
    static const char digits[] = "0123456789abcdefABCDEF";
    std::string g;
    for (uint32_t i = 0, n = pick(10) == 0 ? 5 : 1 + pick(4); i < n; ++i) g += digits[pick(22)];
    return g;
  }

  std::string ipv4_part() {
    std::string t;
    const uint32_t parts = pick(8) == 0 ? 1 + pick(5) : 4;
    for (uint32_t i = 0; i < parts; ++i) {
      if (i > 0) t += '.';
      switch (pick(8)) {
        case 0: t += "0x" + std::to_string(pick(3)) + "f"; break;
        case 1: t += "0" + std::to_string(pick(8)); break;
        case 2: t += std::to_string(250 + pick(10)); break;
        case 3: t += ""; break;
        default: t += std::to_string(pick(256));
      }
    }
    if (pick(10) == 0) t += pick(2) ? " tail" : "x";
    return t;
  }

  std::string ipv6_text() {
    if (pick(4) == 0) {  // a valid text, perhaps with one character changed
      Bytes16 b;
      for (auto &byte : b) byte = pick(3) == 0 ? static_cast<uint8_t>(pick(256)) : 0;
      char text[INET6_ADDRSTRLEN];
      std::string t = inet_ntop(AF_INET6, b.data(), text, sizeof text);
      if (pick(2) == 0) t[pick(static_cast<uint32_t>(t.size()))] = ":.0fG% "[pick(7)];
      return t;
    }
    std::string t = pick(3) == 0 ? "::" : "";
    const uint32_t groups = pick(10);
    bool gap = !t.empty();
    for (uint32_t i = 0; i < groups; ++i) {
      t += hex_group();
      if (i + 1 < groups) t += !gap && pick(6) == 0 ? (gap = true, "::") : ":";
    }
    switch (pick(8)) {
      case 0: t += (t.empty() || t.back() == ':' ? "" : ":") + ipv4_part(); break;
      case 1: t += ":"; break;
      case 2: t += "::"; break;
      case 3: t.insert(pick(static_cast<uint32_t>(t.size()) + 1), 1, "%g: ."[pick(5)]); break;
      default: break;
    }
    return t;
  }

  Bytes16 address_bytes() {
    Bytes16 b{};
    const uint32_t shape = pick(6);
    for (int i = 0; i < 8; ++i) {
      const uint32_t kind = pick(4);
      const uint32_t v = kind < 2 ? 0 : kind == 2 ? pick(16) : pick(65536);
      b[2 * i] = static_cast<uint8_t>(v >> 8);
      b[2 * i + 1] = static_cast<uint8_t>(v);
    }
    if (shape <= 1) std::memset(b.data(), 0, shape == 0 ? 10 : 12);
    if (shape == 0) b[10] = b[11] = 0xff;
    return b;
  }
};

constexpr int kRounds = 60000;

TEST(AddressOracle, Ipv6TextMatchesCLibrary) {
  TextMaker maker;
  int accepted = 0;
  for (int i = 0; i < kRounds; ++i) {
    const std::string text = maker.ipv6_text();
    Bytes16 want{}, got;
    got.fill(0xee);
    const bool ok = expected_pton6(text, &want);
    const int32_t r = inet_ptonx(QRVL_AF_INET6, text.c_str(), got.data());
    ASSERT_EQ(r == 1, ok) << '"' << text << '"';  // 3
    if (!ok) want.fill(0xee);  // a refusal leaves dst untouched
    ASSERT_EQ(got, want) << text;
    accepted += ok;
  }
  EXPECT_GT(accepted, kRounds / 10);  // the generator reaches both sides
  EXPECT_LT(accepted, kRounds * 9 / 10);
}

TEST(AddressOracle, Ipv4TextMatchesInetAddr) {
  TextMaker maker;
  for (int i = 0; i < kRounds; ++i) {
    const std::string text = maker.ipv4_part();
    const uint32_t want = inet_addr(text.c_str());
    uint32_t got = 1;
    ASSERT_EQ(inet_ptonx(QRVL_AF_INET, text.c_str(), &got), want == INADDR_NONE ? 0 : 1) << text;
    ASSERT_EQ(got, want == INADDR_NONE ? 0 : want) << text;
    // Every text inet_pton takes reads the same, bar the all-ones address.
    uint32_t strict;
    if (inet_pton(AF_INET, text.c_str(), &strict) == 1 && strict != INADDR_NONE) {
      ASSERT_EQ(got, strict) << text;
    }
  }
}

TEST(AddressOracle, TextOfBytesMatchesCLibrary) {
  TextMaker maker;
  char text[QRVL_IPV6_TEXT_SIZE];
  for (int i = 0; i < kRounds; ++i) {
    const Bytes16 b = maker.address_bytes();
    ASSERT_EQ(inet_ntopx(QRVL_AF_INET6, b.data(), text, sizeof text), text);
    ASSERT_EQ(std::string(text), expected_ntop6(b));
    Bytes16 back, system_back;
    ASSERT_EQ(inet_ptonx(QRVL_AF_INET6, text, back.data()), 1) << text;
    ASSERT_TRUE(system_pton6(text, &system_back)) << text;
    ASSERT_EQ(back, b) << text;
    ASSERT_EQ(system_back, b) << text;

    char mine[16], theirs[16];
    ASSERT_STREQ(inet_ntopx(QRVL_AF_INET, b.data() + 4 * (i & 3), mine, sizeof mine),
                 inet_ntop(AF_INET, b.data() + 4 * (i & 3), theirs, sizeof theirs));
  }
}

}  // namespace
