// Plain and recursive mutexes.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "quorvel/concurrency.h"
#include "support/native_sync.hpp"

namespace {

// Units left in a plain mutex: 1 free, 0 held.
uint32_t units(Mutex *m) { return qrvl_test::semaphore_units(&m->semaphore); }

// Four threads each add 20000 under the lock with a plain increment: only
// the lock keeps the sum exact.
void hammer(Mutex *m) {
  long value = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EXPECT_EQ(MutexLock(m), 0);
        value += 1;
        EXPECT_EQ(MutexUnlock(m), 0);
      }
    });
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(value, 4 * 20000);
}

bool other_thread_gets(Mutex *m) {
  bool got = false;
  std::thread([&] { got = qrvl_test::try_enter(&m->recursive_lock); }).join();
  return got;
}

}  // namespace

TEST(Mutex, PlainHasNoOwnerAndRefusesASecondUnlock) {
  Mutex m;
  ASSERT_EQ(MutexInit(&m), 0);
  EXPECT_EQ(m.kind, 0);
  EXPECT_EQ(units(&m), 1u);

  // Unlocking a free plain mutex fails and leaves it free with one unit,
  // so it still lets only one holder in.
  EXPECT_EQ(MutexUnlock(&m), -1);
  EXPECT_EQ(units(&m), 1u);
  EXPECT_EQ(MutexLock(&m), 0);
  EXPECT_EQ(units(&m), 0u);

  // Another thread may release it; the lock can then be taken again.
  std::thread([&] { EXPECT_EQ(MutexUnlock(&m), 0); }).join();
  EXPECT_EQ(units(&m), 1u);
  EXPECT_EQ(MutexLock(&m), 0);
  EXPECT_EQ(MutexUnlock(&m), 0);
  EXPECT_EQ(MutexUnlock(&m), -1);

  hammer(&m);
  EXPECT_EQ(units(&m), 1u);
  EXPECT_EQ(MutexFree(&m), 0);
}

TEST(Mutex, RecursiveNeedsAsManyUnlocksAsLocks) {
  Mutex m;
  ASSERT_EQ(MutexRInit(&m), 0);
  EXPECT_EQ(m.kind, 1);
  EXPECT_EQ(MutexLock(&m), 0);
  EXPECT_EQ(MutexLock(&m), 0);
  EXPECT_FALSE(other_thread_gets(&m));
  EXPECT_EQ(MutexUnlock(&m), 0);
  EXPECT_FALSE(other_thread_gets(&m));
  EXPECT_EQ(MutexUnlock(&m), 0);
  EXPECT_TRUE(other_thread_gets(&m));

  hammer(&m);
  EXPECT_EQ(MutexFree(&m), 0);
}

TEST(Mutex, RefusesRecordsItDidNotMake) {
  Mutex m;
  m.kind = 7;
  EXPECT_EQ(MutexLock(&m), -1);
  EXPECT_EQ(MutexUnlock(&m), -1);
  EXPECT_EQ(MutexFree(&m), 0);
  EXPECT_EQ(MutexInit(nullptr), -1);
  EXPECT_EQ(MutexRInit(nullptr), -1);
  EXPECT_EQ(MutexLock(nullptr), -1);
  EXPECT_EQ(MutexUnlock(nullptr), -1);
  EXPECT_EQ(MutexFree(nullptr), 0);

  // A freed plain mutex, or a zero-filled one, fails the lock at once
  // instead of waiting for ever.
  ASSERT_EQ(MutexInit(&m), 0);
  EXPECT_EQ(MutexFree(&m), 0);
  EXPECT_EQ(MutexLock(&m), -1);
  Mutex zero{};
  EXPECT_EQ(MutexLock(&zero), -1);
}
