// Counting semaphores.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>

#include "platform/platform.hpp"
#include "quorvel/concurrency.h"

namespace {

using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Threads asleep inside SemaphoreWait.
uint32_t sleepers(Semaphore *s) {
  return static_cast<uint32_t>(quorvel::platform::as_semaphore(&s->semaphore)->state.load() >> 32);
}

struct Waiter {
  Semaphore *s;
  int32_t timeout;
  std::atomic<int32_t> result{-9};
};

void *wait_once(void *raw) {
  Waiter *w = static_cast<Waiter *>(raw);
  w->result = SemaphoreWait(w->s, w->timeout);
  return nullptr;
}

struct Traffic {
  Semaphore *s;
  std::atomic<long> taken{0};
};

void *post_many(void *raw) {
  Traffic *traffic = static_cast<Traffic *>(raw);
  for (int i = 0; i < 20000; ++i) EXPECT_EQ(SemaphorePost(traffic->s), 1);
  return nullptr;
}

void *take_many(void *raw) {
  Traffic *traffic = static_cast<Traffic *>(raw);
  for (int i = 0; i < 20000; ++i) {
    if (SemaphoreWait(traffic->s, 5000) != 1) return nullptr;
    traffic->taken.fetch_add(1);
  }
  return nullptr;
}

}  // namespace

TEST(Semaphore, CountsWithinItsBounds) {
  Semaphore s;
  EXPECT_EQ(SemaphoreInit(&s, -1), -1);
  EXPECT_EQ(SemaphoreInit(nullptr, 0), -1);

  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  EXPECT_EQ(SemaphorePost(&s), 1);
  EXPECT_EQ(SemaphorePost(&s), 1);
  EXPECT_EQ(SemaphoreWait(&s, 0), 1);
  EXPECT_EQ(SemaphoreWait(&s, 0), 1);
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  EXPECT_EQ(SemaphoreFree(&s), 0);

  // At the largest count a post fails and leaves the count as it was.
  ASSERT_EQ(SemaphoreInit(&s, 2147483647), 0);
  EXPECT_EQ(SemaphorePost(&s), -1);
  EXPECT_EQ(SemaphoreWait(&s, 0), 1);
  EXPECT_EQ(SemaphorePost(&s), 1);
  EXPECT_EQ(SemaphorePost(&s), -1);
  EXPECT_EQ(SemaphoreFree(&s), 0);
}

TEST(Semaphore, WaitsForTimeOutOrPost) {
  Semaphore s;
  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(SemaphoreWait(&s, 10), 0);
  const long waited = elapsed_ms(start);
  EXPECT_GE(waited, 9);
  EXPECT_LT(waited, 5000);

  // Any negative time-out waits until a post comes, however late.
  for (int32_t timeout : {-5, -1, 60000}) {
    Waiter w{&s, timeout};
    ThreadCtl t;
    ASSERT_EQ(kCreateThread(&t, 0, wait_once, &w), 0);
    while (sleepers(&s) == 0) {
    }
    EXPECT_EQ(w.result.load(), -9);
    EXPECT_EQ(SemaphorePost(&s), 1);
    kThreadJoin(t);
    EXPECT_EQ(w.result.load(), 1) << "timeout " << timeout;
    EXPECT_EQ(sleepers(&s), 0u);
  }
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  SemaphoreFree(&s);
}

TEST(Semaphore, NoUnitIsLostBetweenThreads) {
  Semaphore s;
  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  Traffic traffic{&s};
  ThreadCtl threads[4];
  ASSERT_EQ(kCreateThread(&threads[0], 0, take_many, &traffic), 0);
  ASSERT_EQ(kCreateThread(&threads[1], 0, take_many, &traffic), 0);
  ASSERT_EQ(kCreateThread(&threads[2], 0, post_many, &traffic), 0);
  ASSERT_EQ(kCreateThread(&threads[3], 0, post_many, &traffic), 0);
  for (ThreadCtl &t : threads) kThreadJoin(t);
  EXPECT_EQ(traffic.taken.load(), 40000);
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  EXPECT_EQ(sleepers(&s), 0u);
  SemaphoreFree(&s);
}

TEST(Semaphore, TakerMayFreeAtOnce) {
  // The semaphore is freed as soon as its unit arrives; a poster that
  // touched it after adding the unit would be caught by the address
  // sanitizer.
  for (int i = 0; i < 2000; ++i) {
    Semaphore *s = static_cast<Semaphore *>(malloc(sizeof(Semaphore)));
    ASSERT_NE(s, nullptr);
    SemaphoreInit(s, 0);
    ThreadCtl t;
    ASSERT_EQ(kCreateDThread(&t, 0,
                             [](void *raw) -> void * {
                               SemaphorePost(static_cast<Semaphore *>(raw));
                               return nullptr;
                             },
                             s),
              0);
    ASSERT_EQ(SemaphoreWait(s, 5000), 1);
    SemaphoreFree(s);
    free(s);
  }
}
