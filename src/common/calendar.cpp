#include "common/calendar.hpp"

#include <atomic>

#include "platform/platform.hpp"

namespace quorvel::detail {
namespace {

constexpr const char *kZoneNames[2] = {"GMT", "UTC"};

std::atomic<int32_t> g_zone_index{1};

}  // namespace

void set_utm_zone_index(int32_t zone_index) {
  g_zone_index.store(zone_index, std::memory_order_relaxed);
}

// Indexes outside the two-entry table name the zone "UTC", the default.
const char *utm_zone_name() {
  return g_zone_index.load(std::memory_order_relaxed) == 0 ? kZoneNames[0] : kZoneNames[1];
}

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
  out->tm_zone = utm_zone_name();
  return out;
}

int32_t local_zone_hours() {
  int32_t bias = platform::standard_zone_bias_minutes();
  return -bias / 60;
}

}  // namespace quorvel::detail
