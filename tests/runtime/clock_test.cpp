// Clocks: tick count, wall clock, the stop-watch and the byte-order probe.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstring>
#include <ctime>

#include "quorvel.h"

namespace {

// Milliseconds since the system started, suspended time included.
uint64_t boot_ms() {
#if defined(_WIN32)
  return GetTickCount64();
#else
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
#endif
}

TEST(Clock, TickCountIsUptimeInMilliseconds) {
  uint32_t before = static_cast<uint32_t>(boot_ms());
  uint32_t tick = GetClockTimeStamp();
  uint32_t after = static_cast<uint32_t>(boot_ms());
  EXPECT_LE(tick - before, after - before);  // modulo 2^32
}

TEST(Clock, WallClock) {
  time_t before = time(nullptr);
  int64_t seconds = -1;
  uint16_t ms = 9999;
  GetCurrentMTime(&seconds, &ms);
  time_t after = time(nullptr);
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
  EXPECT_LT(ms, 1000);
  GetCurrentMTime(nullptr, &ms);  // either may be left out
  GetCurrentMTime(&seconds, nullptr);

  TimeB tb;
  memset(&tb, 0x5a, sizeof tb);
  ftimeB(&tb);
  EXPECT_GE(tb.time, before);
  EXPECT_LE(tb.time, time(nullptr));
  EXPECT_EQ(tb.seconds, tb.time);
  EXPECT_LT(tb.millitm, 1000);
  EXPECT_EQ(tb.microseconds, tb.millitm * 1000);
  EXPECT_TRUE(tb.timezone == 0x5a5a && tb.dstflag == 0x5a5a) << "left as they were";
}

TEST(Clock, StopWatch) {
  TimeDist td{};
  EXPECT_EQ(FinishTimeDist(&td), 0u);
  for (uint32_t i = 0; i < 7; ++i) td.reserved[i] = 100 + i;
  StartTimeDist(&td);
  EXPECT_EQ(td.marker, 1219u);
  for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(td.reserved[i], 100 + i);
  td.start_tick -= 1500;  // as if started 1.5 s ago
  uint64_t elapsed = FinishTimeDist(&td);
  EXPECT_GE(elapsed, 1500u);
  EXPECT_LT(elapsed, 1500u + 60000u);
  EXPECT_EQ(td.marker, 1219u);

  td.start_tick = GetClockTimeStamp() + 100000;  // the counter wrapped
  EXPECT_EQ(FinishTimeDist(&td), 0u);
  td.marker = 1218;
  td.start_tick = 0;
  EXPECT_EQ(FinishTimeDist(&td), 0u);
}

TEST(Clock, ByteOrderProbe) {
  EXPECT_EQ(is_memory_inverse(), __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 1 : 0);
}

}  // namespace
