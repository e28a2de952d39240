// Semaphores on futexes, recursive locks on pthreads.
#include <pthread.h>
#include <sys/single_threaded.h>

#include <climits>
#include <cstring>
#include <new>

#include "platform/platform.hpp"
#include "platform/word_wait.hpp"

namespace quorvel::platform {

// The state word of a semaphore: the count in the low 32 bits (never above
// 2147483647), the number of registered sleepers in the high 32 bits.
constexpr uint64_t kUnit = 1;
constexpr uint64_t kSleeper = uint64_t{1} << 32;

static uint32_t count_of(uint64_t state) { return static_cast<uint32_t>(state); }

// The kernel sleeps on the 32-bit half that holds the count.
static std::atomic<uint32_t> *count_word(Semaphore *s) {
  static_assert(sizeof(std::atomic<uint64_t>) == sizeof(uint64_t));
  constexpr size_t low_half = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 0 : 4;
  return reinterpret_cast<std::atomic<uint32_t> *>(reinterpret_cast<char *>(&s->state) + low_half);
}

int semaphore_init(Semaphore *s, int32_t initial, int32_t maximum) {
  if (initial < 0 || maximum < 1 || initial > maximum) return -1;
  new (&s->state) std::atomic<uint64_t>(static_cast<uint64_t>(initial));
  s->maximum = maximum;
  s->reserved = 0;
  return 0;
}

// While the process has a single thread nobody else can see the word, so a
// plain load and store do what the compare-and-swap would, without the bus
// lock.  The C library makes the flag false before a second thread exists
// and that thread starts after our stores, so it sees them.
static bool alone() { return __libc_single_threaded != 0; }

// A unit often arrives within a few microseconds (a lock held briefly, a
// producer posting in a loop).  Watching for it a little while costs less
// than sleeping, and a taker that is not yet registered as a sleeper spares
// the releaser its wake-up system call too.
static bool spin_for_unit(Semaphore *s) {
  constexpr int kSpins = 100;
  for (int i = 0; i < kSpins; ++i) {
    spin_pause();
    uint64_t v = s->state.load(std::memory_order_relaxed);
    if (count_of(v) > 0 &&
        s->state.compare_exchange_weak(v, v - kUnit, std::memory_order_acquire,
                                       std::memory_order_relaxed))
      return true;
  }
  return false;
}

Wait semaphore_wait(Semaphore *s, int32_t timeout_ms) {
  uint64_t v = s->state.load(std::memory_order_relaxed);
  if (alone() && count_of(v) > 0) {
    s->state.store(v - kUnit, std::memory_order_relaxed);
    return Wait::kFirst;
  }
  while (count_of(v) > 0) {
    if (s->state.compare_exchange_weak(v, v - kUnit, std::memory_order_acquire,
                                       std::memory_order_relaxed))
      return Wait::kFirst;
  }
  if (s->maximum < 1) return Wait::kFailed;
  if (timeout_ms == 0) return Wait::kTimedOut;
  if (spin_for_unit(s)) return Wait::kFirst;

  const WaitDeadline deadline = wait_deadline_after_ms(timeout_ms);
  // Registering and releasing are read-modify-writes of the same word, so
  // either the releaser sees us and wakes the futex, or the kernel's check
  // of the count (after our registration) sees its unit.
  v = s->state.fetch_add(kSleeper, std::memory_order_relaxed) + kSleeper;
  bool in_time = true;
  for (;;) {
    if (count_of(v) > 0) {
      // Take the unit and leave the sleepers in one step; a sleeper never
      // gives up while a unit is there, so no wake-up is lost.
      if (s->state.compare_exchange_weak(v, v - kUnit - kSleeper, std::memory_order_acquire,
                                         std::memory_order_relaxed))
        return Wait::kFirst;
      continue;
    }
    if (!in_time) {
      if (s->state.compare_exchange_weak(v, v - kSleeper, std::memory_order_relaxed,
                                         std::memory_order_relaxed))
        return Wait::kTimedOut;
      continue;
    }
    in_time = word_wait(count_word(s), 0, deadline);
    v = s->state.load(std::memory_order_relaxed);
  }
}

int semaphore_post(Semaphore *s) {
  const uint32_t maximum = s->maximum < 1 ? 0u : static_cast<uint32_t>(s->maximum);
  std::atomic<uint32_t> *word = count_word(s);
  uint64_t v = s->state.load(std::memory_order_relaxed);
  if (alone()) {
    // No other thread, so nobody sleeps on the word either.
    if (count_of(v) >= maximum) return -1;
    s->state.store(v + kUnit, std::memory_order_relaxed);
    return 0;
  }
  do {
    if (count_of(v) >= maximum) return -1;
  } while (!s->state.compare_exchange_weak(v, v + kUnit, std::memory_order_release,
                                           std::memory_order_relaxed));
  // From here on the record may already be gone (a taker freed it); the
  // wake-up names only its address, which at worst wakes a stranger
  // spuriously.
  // A sleeper only sleeps while the count is 0, and every unit added while
  // sleepers outnumber the units already there wakes one of them; units
  // beyond the sleepers need nobody woken.
  if ((v >> 32) > count_of(v)) word_wake_one(word);
  return 0;
}

// One read-modify-write for the lot.  Sleepers are left registered: they
// sleep only while the count is 0, and taking units never owes them a
// wake-up.
int32_t semaphore_take_up_to(Semaphore *s, int32_t n) {
  if (n < 1) return 0;
  uint64_t v = s->state.load(std::memory_order_relaxed);
  for (;;) {
    const uint32_t there = count_of(v);
    const uint32_t take = there < static_cast<uint32_t>(n) ? there : static_cast<uint32_t>(n);
    if (take == 0) return 0;
    if (s->state.compare_exchange_weak(v, v - take * kUnit, std::memory_order_acquire,
                                       std::memory_order_relaxed))
      return static_cast<int32_t>(take);
  }
}

void semaphore_destroy(Semaphore *s) {
  s->state.store(0, std::memory_order_relaxed);
  s->maximum = 0;
}

// ---- Recursive lock ------------------------------------------------------------

static_assert(sizeof(pthread_mutex_t) <= sizeof(qrvl_recursive_lock_storage));
static_assert(alignof(pthread_mutex_t) <= alignof(qrvl_recursive_lock_storage));

static pthread_mutex_t *as_mutex(qrvl_recursive_lock_storage *lock) {
  return reinterpret_cast<pthread_mutex_t *>(lock);
}

void recursive_lock_init(qrvl_recursive_lock_storage *lock) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(as_mutex(lock), &attr);
  pthread_mutexattr_destroy(&attr);
}

void recursive_lock_enter(qrvl_recursive_lock_storage *lock) { pthread_mutex_lock(as_mutex(lock)); }
void recursive_lock_leave(qrvl_recursive_lock_storage *lock) { pthread_mutex_unlock(as_mutex(lock)); }
void recursive_lock_destroy(qrvl_recursive_lock_storage *lock) {
  pthread_mutex_destroy(as_mutex(lock));
}

}  // namespace quorvel::platform
