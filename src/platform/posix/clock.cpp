// Clocks and the local zone's standard-time bias.
#include <ctime>

#include "platform/platform.hpp"

namespace quorvel::platform {

uint32_t tick_ms() {
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void wall_clock(int64_t *seconds, uint16_t *milliseconds) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  *seconds = static_cast<int64_t>(ts.tv_sec);
  *milliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000L);
}

int32_t standard_zone_bias_minutes() {
  // `timezone` is seconds west of UTC for standard time, as the bias is.
  tzset();
  return static_cast<int32_t>(timezone / 60);
}

}  // namespace quorvel::platform
