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
  while (waiters(c) != n) continue;
}

// True when plain m is held exactly once: a second unlock is refused.
bool held_once(Mutex *m) {
  const bool first = MutexUnlock(m) == 0;
  const bool second = MutexUnlock(m) == -1;
  MutexLock(m);
  return first && second;
}

struct Shared {
  Cond c;
  Mutex m;
  int32_t timeout = -1;  // bounded where a lost release must fail, not hang
  bool wait_again = false;
  std::atomic<int> woken{0};
  std::atomic<int> results{0};  // sum of CondWait results
  std::atomic<int> again{0};    // sum of the second waits' results
};

void *wait_and_count(void *raw) {
  Shared *s = static_cast<Shared *>(raw);
  MutexLock(&s->m);
  s->results.fetch_add(CondWait(&s->c, &s->m, s->timeout));
  s->woken.fetch_add(1);
  // Straight back: the broadcast that released us is still set while the
  // others it released leave, and must not release this wait again.
  if (s->wait_again) s->again.fetch_add(CondWait(&s->c, &s->m, 100));
  MutexUnlock(&s->m);
  return nullptr;
}

// Starts n waiters and returns once all of them are inside CondWait.
template <size_t N>
void start_waiters(Shared *s, ThreadCtl (&threads)[N]) {
  for (ThreadCtl &t : threads) ASSERT_EQ(kCreateThread(&t, 0, wait_and_count, s), 0);
  wait_for_waiters(&s->c, N);
}

// A wait nobody signals times out after its time and returns with m held.
void expect_time_out(Shared *s) {
  MutexLock(&s->m);
  EXPECT_EQ(CondWait(&s->c, &s->m, 10), 0);
  MutexUnlock(&s->m);
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
  EXPECT_EQ(CondInit(nullptr), -1);
  EXPECT_EQ(CondSignal(nullptr), -1);
  EXPECT_EQ(CondBroadcast(nullptr), -1);
  EXPECT_EQ(CondFree(nullptr), -1);

  MutexLock(&s.m);
  // A null c or m fails without touching m.
  EXPECT_EQ(CondWait(nullptr, &s.m, 0), -1);
  EXPECT_EQ(CondWait(&s.c, nullptr, 0), -1);
  EXPECT_TRUE(GetParam() || held_once(&s.m));
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(CondWait(&s.c, &s.m, 10), 0);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_GE(waited.count(), 9);
  EXPECT_LT(waited.count(), 5000);
  EXPECT_TRUE(GetParam() || held_once(&s.m));
  // A poll looks and comes back with m held.
  EXPECT_EQ(CondWait(&s.c, &s.m, 0), 0);
  EXPECT_TRUE(GetParam() || held_once(&s.m));
  MutexUnlock(&s.m);
  EXPECT_EQ(waiters(&s.c), 0u);
}

TEST_P(CondTest, SignalReleasesOneWaiterAtATime) {
  ThreadCtl threads[2];
  start_waiters(&s, threads);
  EXPECT_EQ(CondSignal(&s.c), 0);
  wait_for_waiters(&s.c, 1);
  while (s.woken.load() != 1) continue;
  EXPECT_EQ(CondSignal(&s.c), 0);
  for (ThreadCtl &t : threads) kThreadJoin(t);
  EXPECT_EQ(s.woken.load(), 2);
  EXPECT_EQ(s.results.load(), 2);
  EXPECT_EQ(waiters(&s.c), 0u);
  EXPECT_EQ(CondSignal(&s.c), -1);
}

TEST_P(CondTest, BackToBackSignalsReleaseAsManyWaiters) {
  s.timeout = 5000;
  ThreadCtl threads[3];
  start_waiters(&s, threads);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CondSignal(&s.c), 0);
  for (ThreadCtl &t : threads) kThreadJoin(t);
  EXPECT_EQ(s.results.load(), 3);

  // Signals beyond the waiters are not kept for the next one.
  ThreadCtl one[1];
  start_waiters(&s, one);
  s.results = 0;
  EXPECT_EQ(CondSignal(&s.c), 0);
  const int32_t again = CondSignal(&s.c);  // -1 once the waiter has left
  EXPECT_TRUE(again == 0 || again == -1);
  kThreadJoin(one[0]);
  EXPECT_EQ(s.results.load(), 1);
  expect_time_out(&s);
}

TEST_P(CondTest, BroadcastReleasesEachWaiterOnceAndIsThenCleared) {
  for (int round = 0; round < 8; ++round) {
    s.woken = 0;
    s.results = 0;
    s.wait_again = round >= 3;
    ThreadCtl threads[8];
    start_waiters(&s, threads);
    EXPECT_EQ(CondBroadcast(&s.c), 0);
    for (ThreadCtl &t : threads) kThreadJoin(t);
    EXPECT_EQ(s.woken.load(), 8);
    EXPECT_EQ(s.results.load(), 8);
    EXPECT_EQ(s.again.load(), 0) << "second waits released by the first broadcast";
    // The last released waiter cleared the broadcast: a new wait times out.
    expect_time_out(&s);
  }
}

INSTANTIATE_TEST_SUITE_P(BothMutexKinds, CondTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &kind) {
                           return kind.param ? std::string("Recursive") : std::string("Plain");
                         });

// Plain counters stay exact only if the lock really guards them.
TEST(Cond, ProducerAndConsumersAgreeUnderTheLock) {
  static struct {
    Cond c;
    Mutex m;
    int items = 0, consumed = 0;
    bool closed = false;
  } q;
  ASSERT_EQ(CondInit(&q.c), 0);
  ASSERT_EQ(MutexInit(&q.m), 0);
  auto consume = [](void *) -> void * {
    MutexLock(&q.m);
    for (;;) {
      while (q.items == 0 && !q.closed) CondWait(&q.c, &q.m, 50);
      if (q.items == 0) break;
      q.items -= 1;
      q.consumed += 1;
    }
    MutexUnlock(&q.m);
    return nullptr;
  };
  ThreadCtl consumers[3];
  for (ThreadCtl &t : consumers) ASSERT_EQ(kCreateThread(&t, 0, consume, nullptr), 0);
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
