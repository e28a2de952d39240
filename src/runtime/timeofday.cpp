// gettimeofday for the platform whose C runtime has none (Windows): the
// wall clock as seconds and microseconds, the zone argument ignored.
// Elsewhere the C library's own function keeps the name: exporting ours
// there would replace it for the whole process.
//
// The microseconds come from a millisecond clock, so they are always a
// multiple of 1000.
#include "platform/platform.hpp"
#include "quorvel/runtime.h"

extern "C" int gettimeofday(struct timeval *tv, void *zone) {
  (void)zone;
  if (tv == nullptr) return 0;
  int64_t seconds;
  uint16_t milliseconds;
  quorvel::platform::wall_clock(&seconds, &milliseconds);
  tv->tv_sec = static_cast<long>(seconds);
  tv->tv_usec = static_cast<long>(milliseconds) * 1000;
  return 0;
}
