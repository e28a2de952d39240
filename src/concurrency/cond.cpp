// Condition variables: a waiter count under a plain guard mutex, a signal
// event (auto-reset) and a broadcast event (manual-reset) that every waiter
// watches together.
//
// A waiter is counted before it lets go of the caller's mutex, so a signal
// sent after that sees it.  CondSignal and CondBroadcast with nobody
// counted do nothing, so nothing is remembered for later waiters.
//
// The signal event counts its sets, and CondSignal adds one only while
// fewer are pending than threads wait: two signals to two waiters release
// both, where a plain on/off event would release one and strand the other.
//
// Whoever brings the count back to 0 clears both events.  That covers the
// last thread a broadcast released (also when a waiter that timed out
// leaves after it), and a signal meant for a waiter that timed out is not
// kept for a stranger.  Events are set and cleared only under the guard, so
// a set never lands after the count it was based on has dropped to 0, and a
// reset never wipes out a set aimed at a waiter that registered after it.
//
// A waiter notes the broadcast event's set count when it registers and is
// released only by a later broadcast.  A thread that a broadcast released
// and that waits again while others it released have not yet left finds
// the event still set; without the count it would return at once, again
// and again, until the last of them had left.
#include "quorvel/concurrency.h"

#include "platform/platform.hpp"

namespace platform = quorvel::platform;

namespace {

constexpr int kSignal = 0;
constexpr int kBroadcast = 1;

platform::EventPair *events_of(Cond *c) { return platform::as_event_pair(&c->events); }

}  // namespace

extern "C" int32_t CondInit(Cond *c) {
  if (c == nullptr) return -1;
  c->waiters = 0;
  if (MutexInit(&c->guard) != 0) return -1;
  // Events here live inside the record and cannot fail to be made.
  platform::event_pair_init(events_of(c), false, true);
  return 0;
}

extern "C" int32_t CondWait(Cond *c, Mutex *m, int32_t timeout_ms) {
  if (c == nullptr || m == nullptr) return -1;
  platform::EventPair *events = events_of(c);

  MutexLock(&c->guard);
  c->waiters += 1;
  const uint32_t broadcasts_seen = platform::event_set_count(events, kBroadcast);
  MutexUnlock(&c->guard);

  MutexUnlock(m);
  const platform::Wait woken = platform::event_wait_any_since(
      events, timeout_ms < 0 ? -1 : timeout_ms, kBroadcast, broadcasts_seen);

  MutexLock(&c->guard);
  if (c->waiters > 0) c->waiters -= 1;
  if (c->waiters == 0) {
    platform::event_reset(events, kBroadcast);
    platform::event_reset(events, kSignal);
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
  if (c == nullptr) return -1;
  platform::EventPair *events = events_of(c);
  MutexLock(&c->guard);
  const uint32_t waiters = c->waiters;
  // Every waiter already has a release on its way: one more would only be
  // remembered for a later waiter.
  if (waiters != 0 && platform::event_pending(events, kSignal) < waiters) {
    platform::event_set(events, kSignal);
  }
  MutexUnlock(&c->guard);
  return waiters == 0 ? -1 : 0;
}

extern "C" int32_t CondBroadcast(Cond *c) {
  if (c == nullptr) return -1;
  MutexLock(&c->guard);
  const uint32_t waiters = c->waiters;
  if (waiters != 0) platform::event_set(events_of(c), kBroadcast);
  MutexUnlock(&c->guard);
  return waiters == 0 ? -1 : 0;
}

extern "C" int32_t CondFree(Cond *c) {
  if (c == nullptr) return -1;
  platform::event_reset(events_of(c), kSignal);
  platform::event_reset(events_of(c), kBroadcast);
  MutexFree(&c->guard);
  return 0;
}
