// UTM calendar time: breakdown of seconds since 1970, the inverse
// normalising conversion and the fixed text form.  The arithmetic is the
// library's own (Gregorian rule), independent of the C library's zone state.
#include "runtime/utm.hpp"

#include <atomic>
#include <cstdint>

#include "platform/platform.hpp"

namespace quorvel::detail {
namespace {

constexpr const char *kZoneNames[2] = {"GMT", "UTC"};

// Set without locks by SetUtmZone; conversions on other threads see the old
// or the new value.
std::atomic<int32_t> g_zone_index{1};
std::atomic<int32_t> g_seconds_offset{0};

constexpr int32_t kMonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
constexpr int32_t kDaysBeforeMonth[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

constexpr int32_t kDaysPer400Years = 146097;

// year is a full year (1970, 2000, ...), possibly far outside 32 bits.
constexpr bool is_leap(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

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

Utm *UtmBreakDown(uint32_t seconds, Utm *out, const int32_t *hours) {
  uint32_t s = seconds;
  if (hours != nullptr) s += static_cast<uint32_t>(*hours) * 3600u;
  uint32_t days = s / 86400u;
  uint32_t r = s % 86400u;
  out->tm_sec = static_cast<int32_t>(r % 60u);
  out->tm_min = static_cast<int32_t>((r % 3600u) / 60u);
  out->tm_hour = static_cast<int32_t>(r / 3600u);
  out->tm_wday = static_cast<int32_t>((days + 4u) % 7u);

  // Year, month and day from the day count in closed form (400-year eras
  // counted from 0000-03-01): the same answer as walking year by year and
  // month by month, without the walk.
  uint32_t z = days + 719468u;
  uint32_t era = z / kDaysPer400Years;
  uint32_t doe = z - era * kDaysPer400Years;
  uint32_t yoe = (doe - doe / 1460u + doe / 36524u - doe / 146096u) / 365u;
  uint32_t doy_from_march = doe - (365u * yoe + yoe / 4u - yoe / 100u);
  uint32_t mp = (5u * doy_from_march + 2u) / 153u;
  uint32_t mday = doy_from_march - (153u * mp + 2u) / 5u + 1u;
  uint32_t month = mp < 10u ? mp + 2u : mp - 10u;  // 0 = January
  uint32_t year = yoe + era * 400u + (month < 2u ? 1u : 0u);

  int leap = is_leap(year) ? 1 : 0;
  out->tm_mday = static_cast<int32_t>(mday);
  out->tm_mon = static_cast<int32_t>(month);
  out->tm_year = static_cast<int32_t>(year) - 1900;
  out->tm_yday = kDaysBeforeMonth[leap][month] + static_cast<int32_t>(mday) - 1;
  out->tm_isdst = 0;
  out->tm_gmtoff = 0;
  // Indexes outside the two-entry table name the zone "UTC", the default.
  int32_t zone = g_zone_index.load(std::memory_order_relaxed);
  out->tm_zone = zone == 0 ? kZoneNames[0] : kZoneNames[1];
  return out;
}

int32_t local_zone_hours() {
  int32_t bias = platform::standard_zone_bias_minutes();
  return -bias / 60;
}

}  // namespace quorvel::detail

using quorvel::detail::UtmBreakDown;

// The zone index only chooses the name in the breakdown; any value is
// stored, and values other than 0 ("GMT") read as 1 ("UTC").
extern "C" void SetUtmZone(int32_t zone_index, int32_t seconds_offset) {
  quorvel::detail::g_zone_index.store(zone_index, std::memory_order_relaxed);
  quorvel::detail::g_seconds_offset.store(seconds_offset, std::memory_order_relaxed);
}

extern "C" Utm *GetUtm(uint32_t seconds, Utm *tm) {
  return UtmBreakDown(seconds, tm, nullptr);
}

extern "C" Utm *GetLocalUtm(uint32_t seconds, Utm *tm) {
  int32_t hours = quorvel::detail::local_zone_hours();
  return UtmBreakDown(seconds, tm, &hours);
}

namespace {

// Writes value with at least width digits ('0'-padded after any '-');
// wider values are written in full.  Returns the end of the text.
char *put_padded(char *p, int32_t value, int width) {
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0u);
  if (value < 0) *p++ = '-';
  for (int i = n; i < width; ++i) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
  return p;
}

}  // namespace

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
    p = put_padded(p, values[i], i == 0 ? 4 : 2);
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
  if (k > 5883516 || whole_years > INT32_MAX || total > INT32_MAX) return -1;

  int64_t result = total * 86400 + hour * 3600 + minute * 60 + second;
  if (result > INT32_MAX) return -1;
  result += g_seconds_offset.load(std::memory_order_relaxed);
  if (result > INT32_MAX || result < 0) return -1;
  return static_cast<int32_t>(result);
}
