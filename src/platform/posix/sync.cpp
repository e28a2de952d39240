// Semaphores, recursive locks and event pairs on futexes and pthreads.
#include <pthread.h>

#include <climits>
#include <cstring>
#include <new>

#include "platform/platform.hpp"
#include "platform/posix/futex.hpp"

namespace quorvel::platform {

using posix::Deadline;
using posix::deadline_after_ms;

// The futex word of a semaphore is its count, seen as unsigned.
static std::atomic<uint32_t> *count_word(Semaphore *s) {
  static_assert(sizeof(std::atomic<int32_t>) == sizeof(std::atomic<uint32_t>));
  return reinterpret_cast<std::atomic<uint32_t> *>(&s->count);
}

int semaphore_init(Semaphore *s, int32_t initial, int32_t maximum) {
  if (initial < 0 || maximum < 1 || initial > maximum) return -1;
  new (&s->count) std::atomic<int32_t>(initial);
  new (&s->waiters) std::atomic<uint32_t>(0);
  s->maximum = maximum;
  s->reserved = 0;
  return 0;
}

static bool try_take(Semaphore *s) {
  int32_t c = s->count.load(std::memory_order_relaxed);
  while (c > 0) {
    if (s->count.compare_exchange_weak(c, c - 1, std::memory_order_acquire,
                                       std::memory_order_relaxed))
      return true;
  }
  return false;
}

Wait semaphore_wait(Semaphore *s, int32_t timeout_ms) {
  if (try_take(s)) return Wait::kFirst;
  if (timeout_ms == 0) return Wait::kTimedOut;
  const Deadline deadline = deadline_after_ms(timeout_ms);
  for (;;) {
    // Counting ourselves before the kernel re-reads the count pairs with
    // semaphore_post, which raises the count before it reads the waiters.
    s->waiters.fetch_add(1, std::memory_order_seq_cst);
    bool in_time = posix::futex_wait(count_word(s), 0, deadline);
    s->waiters.fetch_sub(1, std::memory_order_relaxed);
    if (try_take(s)) return Wait::kFirst;
    if (!in_time) return Wait::kTimedOut;
  }
}

int semaphore_post(Semaphore *s) {
  int32_t c = s->count.load(std::memory_order_relaxed);
  do {
    if (c >= s->maximum) return -1;
  } while (!s->count.compare_exchange_weak(c, c + 1, std::memory_order_seq_cst,
                                           std::memory_order_relaxed));
  if (s->waiters.load(std::memory_order_seq_cst) != 0) posix::futex_wake(count_word(s), 1);
  return 0;
}

void semaphore_destroy(Semaphore *s) { s->maximum = 0; }

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

// ---- Event pair ------------------------------------------------------------------

void event_pair_init(EventPair *pair, bool first_manual, bool second_manual) {
  new (&pair->state) std::atomic<uint32_t>(0);
  pair->manual = (first_manual ? 1u : 0u) | (second_manual ? 2u : 0u);
}

void event_set(EventPair *pair, int which) {
  pair->state.fetch_or(1u << which, std::memory_order_release);
  // Every waiter watches both events, so all of them must look; an
  // auto-reset event is then taken by exactly one.
  posix::futex_wake(&pair->state, INT_MAX);
}

void event_reset(EventPair *pair, int which) {
  pair->state.fetch_and(~(1u << which), std::memory_order_relaxed);
}

// Takes the lowest-numbered set event, clearing it when it is auto-reset.
static bool take_event(EventPair *pair, uint32_t *seen, Wait *taken) {
  uint32_t s = pair->state.load(std::memory_order_acquire);
  for (;;) {
    *seen = s;
    int which = (s & 1u) ? 0 : (s & 2u) ? 1 : -1;
    if (which < 0) return false;
    uint32_t bit = 1u << which;
    *taken = which == 0 ? Wait::kFirst : Wait::kSecond;
    if (pair->manual & bit) return true;
    if (pair->state.compare_exchange_weak(s, s & ~bit, std::memory_order_acquire,
                                          std::memory_order_acquire))
      return true;
  }
}

Wait event_wait_any(EventPair *pair, int32_t timeout_ms) {
  const Deadline deadline = deadline_after_ms(timeout_ms);
  for (;;) {
    uint32_t seen = 0;
    Wait taken = Wait::kFailed;
    if (take_event(pair, &seen, &taken)) return taken;
    if (timeout_ms == 0 || !posix::futex_wait(&pair->state, seen, deadline)) {
      // One last look: an event set as the time ran out still counts.
      if (take_event(pair, &seen, &taken)) return taken;
      return Wait::kTimedOut;
    }
  }
}

}  // namespace quorvel::platform
