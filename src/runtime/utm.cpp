// UTM calendar time: the exported breakdowns, the inverse normalising
// conversion and the fixed text form.  The arithmetic is the
// library's own (Gregorian rule), independent of the C library's zone state.
#include "common/calendar.hpp"
#include "common/decimal.hpp"

#include <atomic>
#include <cstdint>

namespace quorvel::detail {
namespace {

// Added to every MakeUnixTime result; set without a lock by SetUtmZone.
std::atomic<int32_t> g_seconds_offset{0};

constexpr int32_t kMonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Leap years in [1, year] of the proleptic calendar (year >= 0).
constexpr int64_t leap_years_through(int64_t year) {
  return year / 4 - year / 100 + year / 400;
}

// Two's-complement wrapping, as 32-bit machine arithmetic would do it,
// without the undefined behaviour of signed overflow.
constexpr int32_t wrap_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Carries value into *higher in steps of base, leaving value in [0, base).
void carry(int32_t *value, int32_t *higher, int32_t base) {
  int32_t q = *value / base;
  int32_t r = *value % base;
  if (r < 0) {
    r += base;
    q -= 1;
  }
  *value = r;
  *higher = wrap_add(*higher, q);
}

int32_t month_length(int32_t month, int32_t year_field) {
  return kMonthDays[is_leap(int64_t{year_field} + 1900) ? 1 : 0][month];
}

}  // namespace
}  // namespace quorvel::detail

using quorvel::detail::UtmBreakDown;

// The zone index only chooses the name in the breakdown; any value is
// stored, and values other than 0 ("GMT") read as 1 ("UTC").
extern "C" void SetUtmZone(int32_t zone_index, int32_t seconds_offset) {
  quorvel::detail::set_utm_zone_index(zone_index);
  quorvel::detail::g_seconds_offset.store(seconds_offset, std::memory_order_relaxed);
}

extern "C" Utm *GetUtm(uint32_t seconds, Utm *tm) {
  return UtmBreakDown(seconds, tm, nullptr);
}

extern "C" Utm *GetLocalUtm(uint32_t seconds, Utm *tm) {
  int32_t hours = quorvel::detail::local_zone_hours();
  return UtmBreakDown(seconds, tm, &hours);
}

// Every piece gets at least its width; a piece wider than that (a year
// above 9999, negative values) is written in full rather than cut, so the
// buffer needs room for up to 6 x 11 characters, five '-' and the zero.
extern "C" char *GetUtmStr(const Utm *tm, char *buffer) {
  using quorvel::detail::wrap_add;
  const int32_t values[6] = {wrap_add(tm->tm_year, 1900), wrap_add(tm->tm_mon, 1), tm->tm_mday,
                             tm->tm_hour, tm->tm_min, tm->tm_sec};
  char *p = buffer;
  for (int i = 0; i < 6; ++i) {
    if (i > 0) *p++ = '-';
    p += quorvel::detail::put_zero_padded(p, values[i], i == 0 ? 4 : 2);
  }
  *p = '\0';
  return buffer;
}

// Normalisation wraps like 32-bit machine arithmetic on absurd field values
// (the result is then -1 anyway).  The day walks skip whole 400-year cycles
// (always 146097 days), so even a day of month near 2^31 takes a bounded
// number of steps.
extern "C" int32_t MakeUnixTime(Utm *tm) {
  using namespace quorvel::detail;
  int32_t second = tm->tm_sec, minute = tm->tm_min, hour = tm->tm_hour;
  int32_t month = tm->tm_mon, year = tm->tm_year;
  int32_t extra_days = 0;
  carry(&second, &minute, 60);
  carry(&minute, &hour, 60);
  carry(&hour, &extra_days, 24);
  carry(&month, &year, 12);

  int32_t d = wrap_add(wrap_add(tm->tm_mday, -1), extra_days);
  while (d < -kDaysPer400Years) {
    d += kDaysPer400Years;
    year = wrap_add(year, -400);
  }
  while (d < 0) {
    if (--month < 0) {
      month = 11;
      year = wrap_add(year, -1);
    }
    d += month_length(month, year);
  }
  while (d >= kDaysPer400Years) {
    d -= kDaysPer400Years;
    year = wrap_add(year, 400);
  }
  while (d >= month_length(month, year)) {
    d -= month_length(month, year);
    if (++month == 12) {
      month = 0;
      year = wrap_add(year, 1);
    }
  }
  tm->tm_sec = second;
  tm->tm_min = minute;
  tm->tm_hour = hour;
  tm->tm_mday = d + 1;
  tm->tm_mon = month;
  tm->tm_year = year;
  if (year < 70) return -1;

  int64_t y = int64_t{year} + 1900;
  int64_t k = y - 1970;
  int64_t yday = kDaysBeforeMonth[is_leap(y) ? 1 : 0][month] + d;
  int64_t whole_years = 365 * k + (leap_years_through(y - 1) - leap_years_through(1969));
  int64_t total = whole_years + yday;
  tm->tm_yday = static_cast<int32_t>(yday);
  tm->tm_wday = static_cast<int32_t>((total + 4) % 7);

  // total stays below 2^40 for any 32-bit year, so none of this overflows.
  int64_t result = total * 86400 + hour * 3600 + minute * 60 + second;
  if (result > INT32_MAX) return -1;
  result += g_seconds_offset.load(std::memory_order_relaxed);
  if (result > INT32_MAX || result < 0) return -1;
  return static_cast<int32_t>(result);
}
