// UTM calendar time: breakdown, local standard offset, text form and the
// normalising inverse, checked against the C library's UTC routines.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <climits>
#include <ctime>
#include <string>

#include "quorvel.h"

namespace {

#if defined(_WIN32)
// _mkgmtime refuses fields that reach 1970 only once normalised.  The
// calendar repeats every 400 years (146097 days, whole weeks), so it is
// asked 400 years later.
time_t utc_seconds(struct tm *tm) {
  tm->tm_year += 400;
  const time_t t = _mkgmtime(tm);
  tm->tm_year -= 400;
  return t == -1 ? -1 : t - time_t{146097} * 86400;
}
void utc_breakdown(time_t t, struct tm *tm) { gmtime_s(tm, &t); }
#else
time_t utc_seconds(struct tm *tm) { return timegm(tm); }
void utc_breakdown(time_t t, struct tm *tm) { gmtime_r(&t, tm); }

// GetLocalUtm under the zone tz; nothing else here reads TZ.
Utm local(const char *tz, uint32_t seconds) {
  setenv("TZ", tz, 1);
  tzset();
  Utm u;
  EXPECT_EQ(GetLocalUtm(seconds, &u), &u);
  return u;
}
#endif

// "YYYY-MM-DD hh:mm:ss wW yY": the date, the weekday and the day of the year.
template <typename Tm>
std::string fields(const Tm &u) {
  char text[96];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d w%d y%d", u.tm_year + 1900,
           u.tm_mon + 1, u.tm_mday, u.tm_hour, u.tm_min, u.tm_sec, u.tm_wday, u.tm_yday);
  return text;
}

template <typename Tm = Utm>
Tm make(int year, int month, int mday, int hour, int min, int sec) {
  Tm t{};  // Windows' struct tm has no tm_gmtoff and tm_zone
  t.tm_sec = sec;
  t.tm_min = min;
  t.tm_hour = hour;
  t.tm_mday = mday;
  t.tm_mon = month - 1;
  t.tm_year = year - 1900;
  return t;
}

int32_t unix_of(Utm u) { return MakeUnixTime(&u); }

uint64_t g_state = 88172645463325252ull;
uint32_t xorshift() {
  g_state ^= g_state << 13;
  g_state ^= g_state >> 7;
  g_state ^= g_state << 17;
  return static_cast<uint32_t>(g_state);
}

TEST(Utm, BreakdownOfKnownDates) {
  Utm u;
  EXPECT_EQ(GetUtm(0, &u), &u);
  EXPECT_EQ(u.tm_isdst, 0);
  EXPECT_EQ(u.tm_gmtoff, 0);
  EXPECT_STREQ(u.tm_zone, "UTC");

  SetUtmZone(0, 0);
  EXPECT_STREQ(GetUtm(0, &u)->tm_zone, "GMT");
  SetUtmZone(7, 0);
  EXPECT_STREQ(GetUtm(0, &u)->tm_zone, "UTC");
  SetUtmZone(1, 0);
}

TEST(Utm, BreakdownAgreesWithGmtimeOverTheWholeRange) {
  // Leap days of 2000 and (not) 2100, the signed 32-bit limit, the end.
  const uint32_t edges[] = {951782400u, 4107542400u, 2147483647u, 2147483648u, UINT32_MAX};
  for (int i = -5; i < 200000; ++i) {
    uint32_t t = i < 0      ? edges[i + 5]
                 : i < 1000 ? static_cast<uint32_t>(i) * 86399u  // day edges near 1970
                            : xorshift();
    Utm u;
    GetUtm(t, &u);
    struct tm g;
    utc_breakdown(t, &g);
    ASSERT_EQ(fields(u), fields(g)) << t;
  }
}

#if defined(_WIN32)
// Windows takes the zone from the system, not from TZ: the expected hours
// are the whole hours of the standard bias it reports, without its
// daylight-saving part.
TEST(Utm, LocalBreakdownUsesWholeStandardHours) {
  TIME_ZONE_INFORMATION zone;
  ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
  const uint32_t shift = static_cast<uint32_t>(-zone.Bias / 60 * 3600);
  for (uint32_t t : {0u, 86400u, 1720000000u, 1705000000u, UINT32_MAX}) {
    Utm got, want;
    EXPECT_EQ(GetLocalUtm(t, &got), &got);
    EXPECT_EQ(fields(got), fields(*GetUtm(t + shift, &want))) << t;  // unsigned: wraps
    EXPECT_EQ(got.tm_isdst, 0);
  }
}
#else
TEST(Utm, LocalBreakdownUsesWholeStandardHours) {
  EXPECT_EQ(fields(local("IST-5:30", 0)), "1970-01-01 05:00:00 w4 y0");
  // New York in July: standard time (UTC-5), not daylight saving time.
  const Utm july = local("EST5EDT,M3.2.0,M11.1.0", 1720000000u);  // 09:46:40 UTC
  EXPECT_EQ(fields(july), "2024-07-03 04:46:40 w3 y184");
  EXPECT_EQ(july.tm_isdst, 0);
  // Before 1970 in local time: unsigned arithmetic wraps to 2106.
  EXPECT_EQ(fields(local("EST5EDT,M3.2.0,M11.1.0", 0)), "2106-02-07 01:28:16 w0 y37");
  EXPECT_EQ(fields(local("NST3:30", 86400)), "1970-01-01 21:00:00 w4 y0");
}
#endif

TEST(Utm, TextForm) {
  char buffer[80];
  const struct {
    Utm u;
    const char *text;
  } rows[] = {{make(2019, 3, 14, 13, 5, 9), "2019-03-14-13-05-09"},
              {make(5, 1, 2, 3, 4, 5), "0005-01-02-03-04-05"},
              {make(12345, 12, 31, 23, -5, 59), "12345-12-31-23--05-59"},
              {make(-7, 1, 1, 0, 0, INT_MIN), "-0007-01-01-00-00--2147483648"}};
  for (const auto &row : rows) {
    EXPECT_EQ(GetUtmStr(&row.u, buffer), buffer);
    EXPECT_STREQ(buffer, row.text);
  }
}

TEST(Utm, MakeUnixTimeNormalises) {
  Utm u = make(1970, 1, 1, 0, 0, -1);
  u.tm_wday = u.tm_yday = 99;  // not reached for dates before 1970
  EXPECT_EQ(MakeUnixTime(&u), -1);
  EXPECT_EQ(fields(u), "1969-12-31 23:59:59 w99 y99");

  // The largest instant, one past it, and far-off fields (bounded work, then -1).
  EXPECT_EQ(unix_of(make(2038, 1, 19, 3, 14, 7)), INT32_MAX);
  EXPECT_EQ(unix_of(make(2038, 1, 19, 3, 14, 8)), -1);
  EXPECT_EQ(unix_of(make(1970, 1, INT_MAX, 0, 0, 0)), -1);
  EXPECT_EQ(unix_of(make(1970, 1, INT_MIN, 0, 0, 0)), -1);
  EXPECT_EQ(unix_of(make(2400, 1, -146097, 0, 0, 0)), 946598400);  // back 400 years and a day
  EXPECT_EQ(unix_of(make(1970, 1, 1, INT_MAX, INT_MAX, INT_MAX)), -1);

  // The seconds offset is added.
  SetUtmZone(1, -3600);
  EXPECT_EQ(unix_of(make(1970, 1, 1, 1, 0, 0)), 0);
  EXPECT_EQ(unix_of(make(1970, 1, 1, 0, 30, 0)), -1);
  SetUtmZone(1, 10);
  EXPECT_EQ(unix_of(make(2038, 1, 19, 3, 13, 57)), INT32_MAX);
  EXPECT_EQ(unix_of(make(2038, 1, 19, 3, 13, 58)), -1);
  SetUtmZone(1, 0);
}

// Out-of-range fields must normalise to the same instant and fields as
// timegm (_mkgmtime on Windows).
TEST(Utm, MakeUnixTimeAgreesWithTimegm) {
  g_state = 0x9E3779B97F4A7C15ull;
  auto next = [](int lo, int hi) {
    return lo + static_cast<int>(xorshift() % static_cast<uint32_t>(hi - lo + 1));
  };
  int compared = 0;
  for (int i = 0; i < 100000; ++i) {
    Utm u = make(next(1960, 2045), next(-30, 40), next(-500, 500), next(-50, 80),
                 next(-3000, 3000), next(-100000, 100000));
    struct tm g = make<struct tm>(u.tm_year + 1900, u.tm_mon + 1, u.tm_mday, u.tm_hour, u.tm_min,
                                  u.tm_sec);
    time_t expected = utc_seconds(&g);
    int32_t got = MakeUnixTime(&u);
    if (expected < 0 || expected > INT32_MAX) {
      ASSERT_EQ(got, -1) << expected;
      continue;
    }
    ++compared;
    ASSERT_EQ(got, expected);
    ASSERT_EQ(fields(u), fields(g));
  }
  EXPECT_GT(compared, 50000);
}

}  // namespace
