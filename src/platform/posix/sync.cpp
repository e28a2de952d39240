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
// 2147483647); in the high 32 bits the number of registered sleepers (from
// bit 33) and the waking bit (bit 32), set while a wake-up is on its way to
// one of them.
//
// At most one wake-up is on its way at a time.  A release that finds more
// sleepers than units and no wake-up on its way sets the waking bit in the
// same step as its unit and wakes one sleeper; releases made meanwhile make
// no system call.  Every sleeper that runs again clears the bit (it is the
// one woken, or it is awake anyway and looks at the count itself), and one
// that takes a unit while units and sleepers remain passes the wake-up on.
// So a taker that never sleeps (a busy worker taking what arrives) no longer
// makes every release wake a sleeper that then finds nothing.
constexpr uint64_t kUnit = 1;
constexpr uint64_t kWaking = uint64_t{1} << 32;
constexpr uint64_t kSleeper = uint64_t{1} << 33;

static uint32_t count_of(uint64_t state) { return static_cast<uint32_t>(state); }
static uint32_t sleepers_of(uint64_t state) { return static_cast<uint32_t>(state >> 33); }
static bool waking(uint64_t state) { return (state & kWaking) != 0; }

// Sleepers sleep on the high half, so that a wake-up set between a
// sleeper's look at the word and its sleep makes the sleep return at once.
static std::atomic<uint32_t> *sleep_word(Semaphore *s) {
  static_assert(sizeof(std::atomic<uint64_t>) == sizeof(uint64_t));
  constexpr size_t high_half = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 4 : 0;
  return reinterpret_cast<std::atomic<uint32_t> *>(reinterpret_cast<char *>(&s->state) + high_half);
}
static uint32_t sleep_word_of(uint64_t state) { return static_cast<uint32_t>(state >> 32); }

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

// Releases made while a wake-up was on its way woke nobody, so a sleeper
// that took a unit wakes the next one when units and sleepers remain.
static void pass_wake_on(Semaphore *s) {
  uint64_t v = s->state.load(std::memory_order_relaxed);
  while (count_of(v) > 0 && sleepers_of(v) > 0 && !waking(v)) {
    if (s->state.compare_exchange_weak(v, v | kWaking, std::memory_order_relaxed,
                                       std::memory_order_relaxed)) {
      word_wake_one(sleep_word(s));
      return;
    }
  }
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
  // either the releaser sees us, or we see its unit.
  v = s->state.fetch_add(kSleeper, std::memory_order_relaxed) + kSleeper;
  bool in_time = true;
  for (;;) {
    if (count_of(v) > 0) {
      // Take the unit, leave the sleepers and clear the waking bit in one
      // step; a sleeper never gives up while a unit is there.
      if (s->state.compare_exchange_weak(v, (v - kUnit - kSleeper) & ~kWaking,
                                         std::memory_order_acquire, std::memory_order_relaxed)) {
        pass_wake_on(s);
        return Wait::kFirst;
      }
      continue;
    }
    if (waking(v)) {
      // Awake and about to look again: the wake-up on its way is answered.
      if (s->state.compare_exchange_weak(v, v & ~kWaking, std::memory_order_relaxed,
                                         std::memory_order_relaxed))
        v &= ~kWaking;
      continue;
    }
    if (!in_time) {
      if (s->state.compare_exchange_weak(v, v - kSleeper, std::memory_order_relaxed,
                                         std::memory_order_relaxed))
        return Wait::kTimedOut;
      continue;
    }
    in_time = word_wait(sleep_word(s), sleep_word_of(v), deadline);
    v = s->state.load(std::memory_order_relaxed);
  }
}

int semaphore_post(Semaphore *s) {
  const uint32_t maximum = s->maximum < 1 ? 0u : static_cast<uint32_t>(s->maximum);
  uint64_t v = s->state.load(std::memory_order_relaxed);
  if (alone()) {
    // No other thread, so nobody sleeps on the word either.
    if (count_of(v) >= maximum) return -1;
    s->state.store(v + kUnit, std::memory_order_relaxed);
    return 0;
  }
  // The word is taken before the unit is added: from then on the record may
  // already be gone (a taker freed it), and the wake-up names only its
  // address, which at worst wakes a stranger spuriously.
  std::atomic<uint32_t> *word = sleep_word(s);
  bool wake;
  uint64_t next;
  do {
    if (count_of(v) >= maximum) return -1;
    // Units beyond the sleepers need nobody woken.
    wake = !waking(v) && sleepers_of(v) > count_of(v);
    next = v + kUnit + (wake ? kWaking : 0);
  } while (!s->state.compare_exchange_weak(v, next, std::memory_order_release,
                                           std::memory_order_relaxed));
  if (wake) word_wake_one(word);
  return 0;
}

// One read-modify-write for the lot.  Sleepers are left registered: taking
// units never owes them a wake-up.
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
