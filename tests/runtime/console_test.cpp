// The console record's initial values and TrySleep's pacing sequence.
#include <gtest/gtest.h>

#include <cstring>

#include "quorvel/net.h"
#include "quorvel/runtime.h"

namespace {

TEST(Console, ScanfRecordStartsAsDocumentedAndReadsNothing) {
  TryScanfState state;
  std::memset(&state, 0x5A, sizeof state);
  TryScanfInit(&state);
  TryScanfState want{};
  want.flag = 1;
  want.parameter = 10;
  EXPECT_EQ(0, std::memcmp(&state, &want, offsetof(TryScanfState, text_end) + 2));
  EXPECT_EQ(state.counter1 | state.counter2, 0u);
  EXPECT_EQ(state.parameter, 10u);
  TryScanfInit2(&state, 77);
  EXPECT_EQ(state.parameter, 77u);
  EXPECT_EQ(state.flag, 1);
  EXPECT_EQ(TryScanf(&state), 0);
  EXPECT_EQ(TryScanf(nullptr), 0);
  EXPECT_EQ(reinterpret_cast<void *>(&TryScanf), reinterpret_cast<void *>(&SetSocketNoSIGPIPE));
}

TEST(Console, TrySleepPacesAWait) {
  struct Step {
    uint32_t unit, now, wait, left;
  } const steps[] = {
      {1, 100, 50, 50}, {1, 120, 50, 30}, {1, 150, 50, 0}, {1, 151, 50, 50}, {1, 160, 0, 0}, {1, 170, 50, 50},
      {10, 0, 5, 10}, {10, 1, 5, 0},                                            // a short wait becomes unit
      {2, 4294967290u, 30, 30}, {2, 4, 30, 12}, {2, 5, 30, 10},               // 10 across the wrap: 9 counted
  };
  TrySleepState state;
  uint32_t unit = 0;
  for (const Step &s : steps) {
    if (s.unit != unit) TrySleepInit(&state, unit = s.unit);
    EXPECT_EQ(TrySleep(&state, s.now, s.wait), s.left) << "unit " << s.unit << " now " << s.now;
  }
}

}  // namespace
