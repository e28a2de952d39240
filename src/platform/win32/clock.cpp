// Clocks and the local zone's standard-time bias on Win32.
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>
#include <sys/timeb.h>

#include "platform/platform.hpp"

namespace quorvel::platform {

uint32_t tick_ms() { return static_cast<uint32_t>(GetTickCount()); }

void wall_clock(int64_t *seconds, uint16_t *milliseconds) {
  __timeb64 now;
  _ftime64(&now);
  *seconds = static_cast<int64_t>(now.time);
  *milliseconds = static_cast<uint16_t>(now.millitm);
}

// The zone's Bias field is UTC = local + bias, for standard time; the
// daylight-saving part (DaylightBias) is never added.
int32_t standard_zone_bias_minutes() {
  TIME_ZONE_INFORMATION zone;
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  return static_cast<int32_t>(zone.Bias);
}

}  // namespace quorvel::platform
