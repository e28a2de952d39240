// Calendar breakdown shared by the UTM functions and the trace timestamps.
#pragma once

#include <cstdint>

#include "quorvel/runtime.h"

namespace quorvel::detail {

// Breaks seconds since 1970 down into *out, shifted by *hours whole hours
// when hours is not null.  All arithmetic is unsigned 32-bit, so a negative
// offset before 1970 wraps to the far end of the range (year 2106) rather
// than failing.  Fills the zone name from the process-wide zone index.
Utm *UtmBreakDown(uint32_t seconds, Utm *out, const int32_t *hours);

// The local zone's standard-time offset in whole hours (UTC+5:30 gives 5,
// UTC-3:30 gives -3); daylight saving time is never applied.
int32_t local_zone_hours();

}  // namespace quorvel::detail
