// Counting semaphores.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/platform.hpp"
#include "quorvel/concurrency.h"
#include "support/native_sync.hpp"

namespace {

void *post(void *raw) {
  SemaphorePost(static_cast<Semaphore *>(raw));
  return nullptr;
}

// Yields until done() holds or the seconds have passed; the caller checks
// what was reached.
template <typename Done>
void yield_until(Done done, int seconds) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done() && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
}

}  // namespace

TEST(Semaphore, CountsWithinItsBounds) {
  Semaphore s;
  EXPECT_EQ(SemaphoreInit(&s, -1), -1);
  EXPECT_EQ(SemaphoreInit(nullptr, 0), -1);
  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(SemaphorePost(&s), 1);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(SemaphoreWait(&s, 0), 1);
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  EXPECT_EQ(SemaphoreFree(&s), 0);

  // At the largest count a post fails and leaves the count as it was.
  ASSERT_EQ(SemaphoreInit(&s, 2147483647), 0);
  EXPECT_EQ(SemaphorePost(&s), -1);
  EXPECT_EQ(SemaphoreWait(&s, 0), 1);
  EXPECT_EQ(SemaphorePost(&s), 1);
  EXPECT_EQ(SemaphorePost(&s), -1);
  EXPECT_EQ(SemaphoreFree(&s), 0);
  // Null and freed semaphores fail at once, also a wait without limit.
  EXPECT_EQ(SemaphoreWait(nullptr, 0), -1);
  EXPECT_EQ(SemaphorePost(nullptr), -1);
  EXPECT_EQ(SemaphoreFree(nullptr), 0);
  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  EXPECT_EQ(SemaphoreFree(&s), 0);
  EXPECT_EQ(SemaphoreWait(&s, 0), -1);
  EXPECT_EQ(SemaphoreWait(&s, -1), -1);
  EXPECT_EQ(SemaphorePost(&s), -1);
}

TEST(Semaphore, WaitsForTimeOutOrPost) {
  Semaphore s;
  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SemaphoreWait(&s, 10), 0);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(9));
  EXPECT_LT(waited, std::chrono::milliseconds(5000));

  // Any negative time-out waits until a post comes, however late.
  for (int32_t timeout : {-5, -1, 60000}) {
    std::atomic<int32_t> result{-9};
    std::thread waiter([&] { result = SemaphoreWait(&s, timeout); });
    qrvl_test::wait_for_a_sleeper(&s.semaphore);
    EXPECT_EQ(result.load(), -9);
    EXPECT_EQ(SemaphorePost(&s), 1);
    waiter.join();
    EXPECT_EQ(result.load(), 1) << "timeout " << timeout;
    EXPECT_TRUE(qrvl_test::has_no_sleepers(&s.semaphore));
  }
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  SemaphoreFree(&s);
}

// Posts that come while a wake-up is on its way wake nobody themselves, so
// four sleepers that each take one unit and leave must still all be woken
// by four quick posts.
TEST(Semaphore, QuickPostsWakeEverySleeper) {
  Semaphore s;
  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  std::atomic<int> woken{0};
  std::vector<std::thread> sleepers;
  for (int i = 0; i < 4; ++i)
    sleepers.emplace_back([&] { woken.fetch_add(SemaphoreWait(&s, 60000)); });
  qrvl_test::wait_for_sleepers(&s.semaphore, 4);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let them fall asleep
  for (int i = 0; i < 4; ++i) EXPECT_EQ(SemaphorePost(&s), 1);
  yield_until([&] { return woken.load() >= 4; }, 20);
  EXPECT_EQ(woken.load(), 4) << "a sleeper stayed asleep beside a unit";
  for (std::thread &t : sleepers) t.join();
  EXPECT_TRUE(qrvl_test::has_no_sleepers(&s.semaphore));
  SemaphoreFree(&s);
}

TEST(Semaphore, NoUnitIsLostBetweenThreads) {
  Semaphore s;
  ASSERT_EQ(SemaphoreInit(&s, 0), 0);
  std::atomic<long> taken{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      for (int n = 0; n < 20000; ++n) {
        if (i >= 2) {
          EXPECT_EQ(SemaphorePost(&s), 1);
        } else if (SemaphoreWait(&s, 5000) == 1) {
          taken.fetch_add(1);
        } else {
          return;  // a lost unit: the count below shows it
        }
      }
    });
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(taken.load(), 40000);
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  EXPECT_TRUE(qrvl_test::has_no_sleepers(&s.semaphore));
  SemaphoreFree(&s);
}

// Taking what is there at once: never more than asked or than there is,
// and no unit lost or made up against posters on other threads.
TEST(Semaphore, TakesSomeUnitsAtOnce) {
  Semaphore s;
  ASSERT_EQ(SemaphoreInit(&s, 5), 0);
  quorvel::platform::Semaphore *p = quorvel::platform::as_semaphore(&s.semaphore);
  EXPECT_EQ(quorvel::platform::semaphore_take_up_to(p, 3), 3);
  EXPECT_EQ(quorvel::platform::semaphore_take_up_to(p, 10), 2);
  EXPECT_EQ(quorvel::platform::semaphore_take_up_to(p, 10), 0);
  EXPECT_EQ(SemaphorePost(&s), 1);
  EXPECT_EQ(quorvel::platform::semaphore_take_up_to(p, 0), 0);
  EXPECT_EQ(quorvel::platform::semaphore_take_up_to(p, 1), 1);
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);

  // Two posters, a taker that never sleeps, and two sleepers: whatever the
  // taker leaves, the sleepers must be woken for, even though most wake-ups
  // find their unit taken (the shape of a busy worker beside idle ones).
  std::atomic<long> taken{0};
  std::atomic<bool> posting_done{false}, stop{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i)
    threads.emplace_back([&] {
      // Each sleeper leaves on a unit taken after the stop, so the two
      // units posted then are taken one by each.
      for (;;) {
        if (SemaphoreWait(&s, 60000) != 1) continue;
        if (stop.load()) return;
        taken.fetch_add(1);
      }
    });
  for (int i = 0; i < 2; ++i)
    threads.emplace_back([&] {
      for (int n = 0; n < 20000; ++n) EXPECT_EQ(SemaphorePost(&s), 1);
    });
  std::thread thief([&] {
    while (!posting_done.load()) {
      int32_t n = quorvel::platform::semaphore_take_up_to(p, 64);
      EXPECT_GE(n, 0);
      EXPECT_LE(n, 64);
      taken.fetch_add(n);
    }
  });
  threads[2].join();
  threads[3].join();
  posting_done = true;
  thief.join();
  yield_until([&] { return taken.load() >= 40000; }, 30);
  EXPECT_EQ(taken.load(), 40000) << "units left with sleepers asleep";
  stop = true;
  for (int i = 0; i < 2; ++i) EXPECT_EQ(SemaphorePost(&s), 1);
  threads[0].join();
  threads[1].join();
  EXPECT_EQ(SemaphoreWait(&s, 0), 0);
  EXPECT_TRUE(qrvl_test::has_no_sleepers(&s.semaphore));
  SemaphoreFree(&s);
  EXPECT_EQ(quorvel::platform::semaphore_take_up_to(p, 1), 0);
}

TEST(Semaphore, TakerMayFreeAtOnce) {
  // Freed as soon as its unit arrives: the address sanitizer catches a
  // poster that touches it after adding the unit.
  for (int i = 0; i < 2000; ++i) {
    Semaphore *s = static_cast<Semaphore *>(malloc(sizeof(Semaphore)));
    ASSERT_NE(s, nullptr);
    SemaphoreInit(s, 0);
    ThreadCtl t;
    ASSERT_EQ(kCreateDThread(&t, 0, post, s), 0);
    ASSERT_EQ(SemaphoreWait(s, 5000), 1);
    SemaphoreFree(s);
    free(s);
  }
}
