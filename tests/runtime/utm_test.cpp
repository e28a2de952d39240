// UTM calendar time: breakdown, local standard offset, text form and the
// normalising inverse, checked against the C library's UTC routines.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>

#include "quorvel.h"

namespace {

class ZoneGuard {
 public:
  explicit ZoneGuard(const char *tz) {
    const char *old = getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (had_) setenv("TZ", old_.c_str(), 1); else unsetenv("TZ");
    tzset();
    SetUtmZone(1, 0);
  }

 private:
  bool had_;
  std::string old_;
};

void expect_date(const Utm &u, int year, int month, int mday, int hour, int min, int sec) {
  EXPECT_EQ(u.tm_year + 1900, year);
  EXPECT_EQ(u.tm_mon + 1, month);
  EXPECT_EQ(u.tm_mday, mday);
  EXPECT_EQ(u.tm_hour, hour);
  EXPECT_EQ(u.tm_min, min);
  EXPECT_EQ(u.tm_sec, sec);
}

Utm make(int year, int month, int mday, int hour, int min, int sec) {
  Utm u{};
  u.tm_year = year - 1900;
  u.tm_mon = month - 1;
  u.tm_mday = mday;
  u.tm_hour = hour;
  u.tm_min = min;
  u.tm_sec = sec;
  return u;
}

TEST(Utm, BreakdownOfKnownDates) {
  Utm u;
  EXPECT_EQ(GetUtm(0, &u), &u);
  expect_date(u, 1970, 1, 1, 0, 0, 0);
  EXPECT_EQ(u.tm_wday, 4);
  EXPECT_EQ(u.tm_yday, 0);
  EXPECT_EQ(u.tm_isdst, 0);
  EXPECT_EQ(u.tm_gmtoff, 0);
  EXPECT_STREQ(u.tm_zone, "UTC");
  GetUtm(951782400u, &u);
  expect_date(u, 2000, 2, 29, 0, 0, 0);
  GetUtm(4107542400u, &u);
  expect_date(u, 2100, 3, 1, 0, 0, 0);
  EXPECT_EQ(u.tm_yday, 59);
  GetUtm(2147483648u, &u);
  expect_date(u, 2038, 1, 19, 3, 14, 8);
  GetUtm(UINT32_MAX, &u);
  expect_date(u, 2106, 2, 7, 6, 28, 15);

  SetUtmZone(0, 0);
  EXPECT_STREQ(GetUtm(0, &u)->tm_zone, "GMT");
  SetUtmZone(7, 0);
  EXPECT_STREQ(GetUtm(0, &u)->tm_zone, "UTC");
  SetUtmZone(1, 0);
}

TEST(Utm, BreakdownAgreesWithGmtimeOverTheWholeRange) {
  uint64_t state = 88172645463325252ull;
  for (int i = 0; i < 200000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    uint32_t t = static_cast<uint32_t>(state);
    if (i < 1000) t = static_cast<uint32_t>(i) * 86399u;  // day edges near 1970
    Utm u;
    GetUtm(t, &u);
    time_t tt = t;
    struct tm g;
    gmtime_r(&tt, &g);
    ASSERT_EQ(u.tm_sec, g.tm_sec) << t;
    ASSERT_EQ(u.tm_min, g.tm_min) << t;
    ASSERT_EQ(u.tm_hour, g.tm_hour) << t;
    ASSERT_EQ(u.tm_mday, g.tm_mday) << t;
    ASSERT_EQ(u.tm_mon, g.tm_mon) << t;
    ASSERT_EQ(u.tm_year, g.tm_year) << t;
    ASSERT_EQ(u.tm_wday, g.tm_wday) << t;
    ASSERT_EQ(u.tm_yday, g.tm_yday) << t;
  }
}

TEST(Utm, LocalBreakdownUsesWholeStandardHours) {
  Utm u;
  {
    ZoneGuard zone("IST-5:30");
    expect_date(*GetLocalUtm(0, &u), 1970, 1, 1, 5, 0, 0);
  }
  {
    // New York in July: standard time (UTC-5), not daylight saving time.
    ZoneGuard zone("EST5EDT,M3.2.0,M11.1.0");
    GetLocalUtm(1720000000u, &u);  // 2024-07-03 09:46:40 UTC
    expect_date(u, 2024, 7, 3, 4, 46, 40);
    EXPECT_EQ(u.tm_isdst, 0);
    // Before 1970 in local time: unsigned arithmetic wraps to 2106.
    expect_date(*GetLocalUtm(0, &u), 2106, 2, 7, 1, 28, 16);
  }
  {
    ZoneGuard zone("NST3:30");
    expect_date(*GetLocalUtm(86400, &u), 1970, 1, 1, 21, 0, 0);
  }
}

TEST(Utm, TextForm) {
  char buffer[80];
  Utm u = make(2019, 3, 14, 13, 5, 9);
  EXPECT_EQ(GetUtmStr(&u, buffer), buffer);
  EXPECT_STREQ(buffer, "2019-03-14-13-05-09");
  u = make(5, 1, 2, 3, 4, 5);
  EXPECT_STREQ(GetUtmStr(&u, buffer), "0005-01-02-03-04-05");
  u = make(12345, 12, 31, 23, -5, 59);
  EXPECT_STREQ(GetUtmStr(&u, buffer), "12345-12-31-23--05-59");
  u = make(-7, 1, 1, 0, 0, INT_MIN);
  EXPECT_STREQ(GetUtmStr(&u, buffer), "-0007-01-01-00-00--2147483648");
}

TEST(Utm, MakeUnixTimeNormalises) {
  Utm u = make(1970, 1, 1, 0, 0, 0);
  u.tm_wday = u.tm_yday = 99;
  EXPECT_EQ(MakeUnixTime(&u), 0);
  EXPECT_EQ(u.tm_wday, 4);
  EXPECT_EQ(u.tm_yday, 0);

  u = make(1970, 1, 1, 0, 0, -1);
  u.tm_yday = 99;
  EXPECT_EQ(MakeUnixTime(&u), -1);
  expect_date(u, 1969, 12, 31, 23, 59, 59);
  EXPECT_EQ(u.tm_yday, 99);  // not reached for dates before 1970

  u = make(2000, 15, 1, 0, 0, 0);  // month field 14, year field 100
  EXPECT_EQ(MakeUnixTime(&u), 983404800);
  expect_date(u, 2001, 3, 1, 0, 0, 0);
  EXPECT_EQ(u.tm_yday, 59);

  u = make(2020, 3, 0, 0, 0, 0);
  MakeUnixTime(&u);
  expect_date(u, 2020, 2, 29, 0, 0, 0);

  u = make(2038, 1, 19, 3, 14, 7);
  EXPECT_EQ(MakeUnixTime(&u), INT32_MAX);
  u = make(2038, 1, 19, 3, 14, 8);
  EXPECT_EQ(MakeUnixTime(&u), -1);
  u = make(1970, 1, 1, 0, 0, 0);
  u.tm_mday = INT_MAX;  // far future: bounded work, then -1
  EXPECT_EQ(MakeUnixTime(&u), -1);
  u.tm_mday = INT_MIN;
  EXPECT_EQ(MakeUnixTime(&u), -1);
  u = make(1970, 1, 1, INT_MAX, INT_MAX, INT_MAX);
  EXPECT_EQ(MakeUnixTime(&u), -1);
}

TEST(Utm, MakeUnixTimeAddsTheSecondsOffset) {
  SetUtmZone(1, -3600);
  Utm u = make(1970, 1, 1, 1, 0, 0);
  EXPECT_EQ(MakeUnixTime(&u), 0);
  u = make(1970, 1, 1, 0, 30, 0);
  EXPECT_EQ(MakeUnixTime(&u), -1);
  SetUtmZone(1, 10);
  u = make(2038, 1, 19, 3, 13, 57);
  EXPECT_EQ(MakeUnixTime(&u), INT32_MAX);
  u = make(2038, 1, 19, 3, 13, 58);
  EXPECT_EQ(MakeUnixTime(&u), -1);
  SetUtmZone(1, 0);
}

// Out-of-range fields spread over neighbouring units must land on the same
// instant and the same normalised fields as timegm gives.
TEST(Utm, MakeUnixTimeAgreesWithTimegm) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state](int lo, int hi) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return lo + static_cast<int>(state % static_cast<uint64_t>(hi - lo + 1));
  };
  int compared = 0;
  for (int i = 0; i < 100000; ++i) {
    Utm u = make(next(1960, 2045), next(-30, 40), next(-500, 500), next(-50, 80),
                 next(-3000, 3000), next(-100000, 100000));
    struct tm g{};
    g.tm_year = u.tm_year;
    g.tm_mon = u.tm_mon;
    g.tm_mday = u.tm_mday;
    g.tm_hour = u.tm_hour;
    g.tm_min = u.tm_min;
    g.tm_sec = u.tm_sec;
    time_t expected = timegm(&g);
    int32_t got = MakeUnixTime(&u);
    if (expected < 0 || expected > INT32_MAX) {
      ASSERT_EQ(got, -1) << expected;
      continue;
    }
    ++compared;
    ASSERT_EQ(got, expected);
    ASSERT_EQ(u.tm_sec, g.tm_sec);
    ASSERT_EQ(u.tm_min, g.tm_min);
    ASSERT_EQ(u.tm_hour, g.tm_hour);
    ASSERT_EQ(u.tm_mday, g.tm_mday);
    ASSERT_EQ(u.tm_mon, g.tm_mon);
    ASSERT_EQ(u.tm_year, g.tm_year);
    ASSERT_EQ(u.tm_wday, g.tm_wday);
    ASSERT_EQ(u.tm_yday, g.tm_yday);
  }
  EXPECT_GT(compared, 50000);
}

}  // namespace
