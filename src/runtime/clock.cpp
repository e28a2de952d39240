// Clocks: the millisecond tick, the wall clock, the stop-watch and the
// byte-order probe.
#include <cstdint>

#include "platform/platform.hpp"
#include "quorvel/runtime.h"

namespace {
constexpr uint32_t kTimeDistMarker = 1219;
}

extern "C" uint32_t GetClockTimeStamp(void) { return quorvel::platform::tick_ms(); }

extern "C" void ftimeB(TimeB *tb) {
  int64_t seconds;
  uint16_t milliseconds;
  quorvel::platform::wall_clock(&seconds, &milliseconds);
  tb->time = seconds;
  tb->millitm = milliseconds;
  tb->seconds = seconds;
  tb->microseconds = int32_t{milliseconds} * 1000;
}

extern "C" void GetCurrentMTime(int64_t *seconds, uint16_t *milliseconds) {
  int64_t s;
  uint16_t ms;
  quorvel::platform::wall_clock(&s, &ms);
  if (seconds != nullptr) *seconds = s;
  if (milliseconds != nullptr) *milliseconds = ms;
}

extern "C" void StartTimeDist(TimeDist *td) {
  td->marker = kTimeDistMarker;
  td->start_tick = quorvel::platform::tick_ms();
}

// A start tick above the current one means the 32-bit counter wrapped in
// between; the elapsed time is then unknown and reported as 0.
extern "C" uint64_t FinishTimeDist(TimeDist *td) {
  if (td->marker != kTimeDistMarker) return 0;
  uint32_t now = quorvel::platform::tick_ms();
  if (td->start_tick > now) return 0;
  return now - td->start_tick;
}

extern "C" uint8_t is_memory_inverse(void) {
  const uint8_t bytes[2] = {1, 0};
  uint16_t value;
  __builtin_memcpy(&value, bytes, sizeof value);
  return value != 1 ? 1 : 0;
}
