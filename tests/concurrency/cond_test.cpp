// Condition variables.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/platform.hpp"
#include "quorvel/concurrency.h"

namespace {

using Clock = std::chrono::steady_clock;

uint32_t waiters(Cond *c) {
  MutexLock(&c->guard);
  const uint32_t n = c->waiters;
  MutexUnlock(&c->guard);
  return n;
}

void wait_for_waiters(Cond *c, uint32_t n) {
  while (waiters(c) != n) {
  }
}

// True when m is held exactly once: the first unlock works, the second is
// refused (plain mutexes only).
bool held_once(Mutex *m) {
  const bool first = MutexUnlock(m) == 0;
  const bool second = MutexUnlock(m) == -1;
  MutexLock(m);
  return first && second;
}

struct Shared {
  Cond c;
  Mutex m;
  std::atomic<int> woken{0};
  std::atomic<int> results{0};  // sum of CondWait results
};

int32_t wait_and_count(Shared *s, int32_t timeout) {
  MutexLock(&s->m);
  const int32_t r = CondWait(&s->c, &s->m, timeout);
  s->results.fetch_add(r);
  s->woken.fetch_add(1);
  MutexUnlock(&s->m);
  return r;
}

void *wait_forever(void *raw) {
  wait_and_count(static_cast<Shared *>(raw), -1);
  return nullptr;
}

// Bounded, so that a lost release fails the test instead of hanging it.
void *wait_5s(void *raw) {
  wait_and_count(static_cast<Shared *>(raw), 5000);
  return nullptr;
}

class CondTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_EQ(CondInit(&s.c), 0);
    ASSERT_EQ(GetParam() ? MutexRInit(&s.m) : MutexInit(&s.m), 0);
  }
  void TearDown() override {
    EXPECT_EQ(CondFree(&s.c), 0);
    MutexFree(&s.m);
  }
  Shared s;
};

}  // namespace

TEST_P(CondTest, NothingIsRememberedWithoutWaiters) {
  EXPECT_EQ(CondSignal(&s.c), -1);
  EXPECT_EQ(CondBroadcast(&s.c), -1);

  MutexLock(&s.m);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(CondWait(&s.c, &s.m, 10), 0);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_GE(waited.count(), 9);
  EXPECT_LT(waited.count(), 5000);
  if (!GetParam()) {
    EXPECT_TRUE(held_once(&s.m));
  }
  // A poll looks and comes back with m held.
  EXPECT_EQ(CondWait(&s.c, &s.m, 0), 0);
  if (!GetParam()) {
    EXPECT_TRUE(held_once(&s.m));
  }
  MutexUnlock(&s.m);
  EXPECT_EQ(waiters(&s.c), 0u);
}

TEST_P(CondTest, SignalReleasesOneWaiterAtATime) {
  ThreadCtl threads[2];
  for (ThreadCtl &t : threads) ASSERT_EQ(kCreateThread(&t, 0, wait_forever, &s), 0);
  wait_for_waiters(&s.c, 2);

  EXPECT_EQ(CondSignal(&s.c), 0);
  wait_for_waiters(&s.c, 1);
  while (s.woken.load() != 1) {
  }
  EXPECT_EQ(CondSignal(&s.c), 0);
  for (ThreadCtl &t : threads) kThreadJoin(t);
  EXPECT_EQ(s.woken.load(), 2);
  EXPECT_EQ(s.results.load(), 2);
  EXPECT_EQ(waiters(&s.c), 0u);
  EXPECT_EQ(CondSignal(&s.c), -1);
}

TEST_P(CondTest, BackToBackSignalsReleaseAsManyWaiters) {
  ThreadCtl threads[3];
  for (ThreadCtl &t : threads) ASSERT_EQ(kCreateThread(&t, 0, wait_5s, &s), 0);
  wait_for_waiters(&s.c, 3);
  EXPECT_EQ(CondSignal(&s.c), 0);
  EXPECT_EQ(CondSignal(&s.c), 0);
  EXPECT_EQ(CondSignal(&s.c), 0);
  for (ThreadCtl &t : threads) kThreadJoin(t);
  EXPECT_EQ(s.results.load(), 3);

  // Signals beyond the waiters are not kept for the next one.
  ASSERT_EQ(kCreateThread(&threads[0], 0, wait_5s, &s), 0);
  wait_for_waiters(&s.c, 1);
  s.results = 0;
  EXPECT_EQ(CondSignal(&s.c), 0);
  const int32_t again = CondSignal(&s.c);  // -1 once the waiter has left
  EXPECT_TRUE(again == 0 || again == -1);
  kThreadJoin(threads[0]);
  EXPECT_EQ(s.results.load(), 1);
  MutexLock(&s.m);
  EXPECT_EQ(CondWait(&s.c, &s.m, 10), 0);
  MutexUnlock(&s.m);
}

TEST_P(CondTest, BroadcastReleasesEveryWaiterAndIsThenCleared) {
  for (int round = 0; round < 3; ++round) {
    s.woken = 0;
    s.results = 0;
    ThreadCtl threads[3];
    for (ThreadCtl &t : threads) ASSERT_EQ(kCreateThread(&t, 0, wait_forever, &s), 0);
    wait_for_waiters(&s.c, 3);
    EXPECT_EQ(CondBroadcast(&s.c), 0);
    for (ThreadCtl &t : threads) kThreadJoin(t);
    EXPECT_EQ(s.woken.load(), 3);
    EXPECT_EQ(s.results.load(), 3);

    // The last released waiter cleared the broadcast: a new wait times out.
    MutexLock(&s.m);
    EXPECT_EQ(CondWait(&s.c, &s.m, 10), 0);
    MutexUnlock(&s.m);
  }
}

INSTANTIATE_TEST_SUITE_P(BothMutexKinds, CondTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &kind) {
                           return kind.param ? std::string("Recursive") : std::string("Plain");
                         });

namespace {

// A bounded queue guarded by m, with consumers waiting on the condition.
struct Queue {
  Cond c;
  Mutex m;
  int items = 0;
  int consumed = 0;
  bool closed = false;
};

void *consume(void *raw) {
  Queue *q = static_cast<Queue *>(raw);
  MutexLock(&q->m);
  for (;;) {
    while (q->items == 0 && !q->closed) CondWait(&q->c, &q->m, 50);
    if (q->items == 0) break;
    q->items -= 1;
    q->consumed += 1;
  }
  MutexUnlock(&q->m);
  return nullptr;
}

}  // namespace

TEST(Cond, ProducerAndConsumersAgreeUnderTheLock) {
  Queue q;
  ASSERT_EQ(CondInit(&q.c), 0);
  ASSERT_EQ(MutexInit(&q.m), 0);
  ThreadCtl consumers[3];
  for (ThreadCtl &t : consumers) ASSERT_EQ(kCreateThread(&t, 0, consume, &q), 0);
  for (int i = 0; i < 5000; ++i) {
    MutexLock(&q.m);
    q.items += 1;
    MutexUnlock(&q.m);
    CondSignal(&q.c);
  }
  MutexLock(&q.m);
  q.closed = true;
  MutexUnlock(&q.m);
  CondBroadcast(&q.c);
  for (ThreadCtl &t : consumers) kThreadJoin(t);
  EXPECT_EQ(q.consumed, 5000);
  EXPECT_EQ(q.items, 0);
  EXPECT_EQ(CondFree(&q.c), 0);
  MutexFree(&q.m);
}
