// Plain and recursive mutexes.
#include <gtest/gtest.h>
#include <pthread.h>

#include <thread>

#include "platform/platform.hpp"
#include "quorvel/concurrency.h"

namespace {

// Units left in a plain mutex: 1 free, 0 held.
uint32_t units(Mutex *m) {
  return static_cast<uint32_t>(quorvel::platform::as_semaphore(&m->semaphore)->state.load());
}

struct Counter {
  Mutex *lock;
  long value = 0;
};

void *increment_many(void *raw) {
  Counter *counter = static_cast<Counter *>(raw);
  for (int i = 0; i < 20000; ++i) {
    EXPECT_EQ(MutexLock(counter->lock), 0);
    counter->value += 1;  // a plain increment: only the lock keeps it exact
    EXPECT_EQ(MutexUnlock(counter->lock), 0);
  }
  return nullptr;
}

void hammer(Mutex *m) {
  Counter counter{m};
  ThreadCtl threads[4];
  for (ThreadCtl &t : threads) ASSERT_EQ(kCreateThread(&t, 0, increment_many, &counter), 0);
  for (ThreadCtl &t : threads) kThreadJoin(t);
  EXPECT_EQ(counter.value, 4 * 20000);
}

void *unlock_it(void *raw) {
  EXPECT_EQ(MutexUnlock(static_cast<Mutex *>(raw)), 0);
  return nullptr;
}

bool other_thread_gets(Mutex *m) {
  auto *native = reinterpret_cast<pthread_mutex_t *>(&m->recursive_lock);
  bool got = false;
  std::thread([&] {
    got = pthread_mutex_trylock(native) == 0 && !pthread_mutex_unlock(native);
  }).join();
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
  ThreadCtl t;
  ASSERT_EQ(kCreateThread(&t, 0, unlock_it, &m), 0);
  kThreadJoin(t);
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
  EXPECT_EQ(MutexLock(nullptr), -1);
  EXPECT_EQ(MutexUnlock(nullptr), -1);
}
