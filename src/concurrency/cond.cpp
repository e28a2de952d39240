// Condition variables: a waiter count under a plain guard mutex, an
// auto-reset signal event and a manual-reset broadcast event that every
// waiter watches together.
//
// A waiter is counted before it lets go of the caller's mutex, so a signal
// sent after that sees it.  CondSignal and CondBroadcast with nobody
// counted do nothing, so nothing is remembered for later waiters.  The last
// waiter released by a broadcast clears the broadcast event; it does so
// while still holding the guard, so that a broadcast aimed at a waiter
// that registers right afterwards cannot be wiped out by that reset.
#include "quorvel/concurrency.h"

#include "platform/platform.hpp"

namespace platform = quorvel::platform;

namespace {

constexpr int kSignal = 0;
constexpr int kBroadcast = 1;

platform::EventPair *events_of(Cond *c) { return platform::as_event_pair(&c->events); }

uint32_t current_waiters(Cond *c) {
  MutexLock(&c->guard);
  const uint32_t waiters = c->waiters;
  MutexUnlock(&c->guard);
  return waiters;
}

}  // namespace

extern "C" int32_t CondInit(Cond *c) {
  if (c == nullptr) return -1;
  c->waiters = 0;
  MutexInit(&c->guard);
  // Events here live inside the record and cannot fail to be made.
  platform::event_pair_init(events_of(c), false, true);
  return 0;
}

extern "C" int32_t CondWait(Cond *c, Mutex *m, int32_t timeout_ms) {
  if (c == nullptr || m == nullptr) return -1;
  platform::EventPair *events = events_of(c);

  MutexLock(&c->guard);
  c->waiters += 1;
  MutexUnlock(&c->guard);

  MutexUnlock(m);
  const platform::Wait woken = platform::event_wait_any(events, timeout_ms < 0 ? -1 : timeout_ms);

  MutexLock(&c->guard);
  if (c->waiters > 0) c->waiters -= 1;
  if (woken == platform::Wait::kSecond && c->waiters == 0) {
    platform::event_reset(events, kBroadcast);
  }
  MutexUnlock(&c->guard);

  MutexLock(m);
  switch (woken) {
    case platform::Wait::kFirst:
    case platform::Wait::kSecond:
      return 1;
    case platform::Wait::kTimedOut:
      return 0;
    default:
      return -1;
  }
}

extern "C" int32_t CondSignal(Cond *c) {
  if (c == nullptr || current_waiters(c) == 0) return -1;
  platform::event_set(events_of(c), kSignal);
  return 0;
}

extern "C" int32_t CondBroadcast(Cond *c) {
  if (c == nullptr || current_waiters(c) == 0) return -1;
  platform::event_set(events_of(c), kBroadcast);
  return 0;
}

extern "C" int32_t CondFree(Cond *c) {
  if (c == nullptr) return -1;
  platform::event_reset(events_of(c), kSignal);
  platform::event_reset(events_of(c), kBroadcast);
  MutexFree(&c->guard);
  return 0;
}
