// Thread start-up, join and detach.
#include <gtest/gtest.h>

#include <atomic>

#include "quorvel/concurrency.h"

namespace {

struct Gate {
  Semaphore open;
  Semaphore done;
  std::atomic<int> seen{0};
  Gate() {
    SemaphoreInit(&open, 0);
    SemaphoreInit(&done, 0);
  }
  ~Gate() {
    SemaphoreFree(&open);
    SemaphoreFree(&done);
  }
};

// Waits for the gate, then records which gate it was handed.  The wait is
// bounded so that a join that wrongly waits fails instead of hanging.
void *wait_then_record(void *raw) {
  Gate *gate = static_cast<Gate *>(raw);
  if (SemaphoreWait(&gate->open, 5000) != 1) return nullptr;
  gate->seen.fetch_add(1);
  EXPECT_EQ(SemaphorePost(&gate->done), 1);
  return nullptr;
}

void *add_one(void *raw) {
  static_cast<std::atomic<int> *>(raw)->fetch_add(1);
  return nullptr;
}

}  // namespace

TEST(Thread, StartsJoinsAndLetsTheBlockBeReused) {
  // The first thread keeps the argument it was started with although the
  // block is overwritten while it still waits.
  Gate first, second;
  ThreadCtl t;
  ASSERT_EQ(kCreateThread(&t, 0, wait_then_record, &first), 0);
  const ThreadCtl first_ctl = t;
  t.routine = add_one;
  t.argument = &second;
  ASSERT_EQ(SemaphorePost(&first.open), 1);
  ASSERT_EQ(SemaphoreWait(&first.done, 5000), 1);
  EXPECT_EQ(first.seen.load(), 1);
  EXPECT_EQ(second.seen.load(), 0);
  EXPECT_EQ(kThreadJoin(first_ctl), 0);

  // Small and default stacks both run; a routine that returns at once still
  // leaves started at 1; every joined routine has finished.
  std::atomic<int> count{0};
  const int32_t stacks[] = {-1, 0, 1, 65536, 1 << 20};
  ThreadCtl many[5];
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(kCreateThread(&many[i], stacks[i], add_one, &count), 0);
    EXPECT_TRUE(many[i].started == 1 && many[i].detached == 0 && many[i].handle != 0) << i;
  }
  for (const ThreadCtl &each : many) EXPECT_EQ(kThreadJoin(each), 0);
  EXPECT_EQ(count.load(), 5);
}

TEST(Thread, DetachedThreadIsNotWaitedFor) {
  Gate gate;
  ThreadCtl t;
  ASSERT_EQ(kCreateDThread(&t, 0, wait_then_record, &gate), 0);
  EXPECT_TRUE(t.started == 1 && t.detached == 1);
  // The thread is still blocked on the gate: a join that waited would hang.
  EXPECT_EQ(kThreadJoin(t), 0);
  EXPECT_EQ(gate.seen.load(), 0);
  ASSERT_EQ(SemaphorePost(&gate.open), 1);
  ASSERT_EQ(SemaphoreWait(&gate.done, 5000), 1);
  EXPECT_EQ(gate.seen.load(), 1);
}

TEST(Thread, RefusesWhatCannotRun) {
  ThreadCtl t;
  t.handle = 77;
  EXPECT_EQ(kCreateThread(&t, 0, nullptr, nullptr), -1);
  EXPECT_TRUE(t.handle == 0 && t.started == 0);
  EXPECT_EQ(kCreateThread(nullptr, 0, add_one, nullptr), -1);
  // A block whose thread never started joins at once.
  EXPECT_EQ(kThreadJoin(t), 0);
}
