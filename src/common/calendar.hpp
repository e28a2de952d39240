// Calendar arithmetic shared by the UTM functions and the trace timestamps:
// the Gregorian rule, the breakdown of seconds since 1970, and the zone
// name and local offset that go with it.
#pragma once

#include <cstdint>

#include "quorvel/runtime.h"

namespace quorvel::detail {

// year is a full year (1970, 2000, ...), possibly far outside 32 bits.
constexpr bool is_leap(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Days before each month, in common and in leap years.
inline constexpr int32_t kDaysBeforeMonth[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

inline constexpr int32_t kDaysPer400Years = 146097;

// Breaks seconds since 1970 down into *out, shifted by *hours whole hours
// when hours is not null.  All arithmetic is unsigned 32-bit, so a negative
// offset before 1970 wraps to the far end of the range (year 2106) rather
// than failing.  Fills the zone name from the process-wide zone index.
Utm *UtmBreakDown(uint32_t seconds, Utm *out, const int32_t *hours);

// Sets the process-wide zone index that names the zone of every breakdown
// (0 "GMT", anything else "UTC").  Written without a lock: breakdowns on
// other threads see the old or the new value.
void set_utm_zone_index(int32_t zone_index);

// The zone name UtmBreakDown writes now.
const char *utm_zone_name();

// The local zone's standard-time offset in whole hours (UTC+5:30 gives 5,
// UTC-3:30 gives -3); daylight saving time is never applied.
int32_t local_zone_hours();

}  // namespace quorvel::detail
