// Event pairs: both events' state in one word of the caller's record,
// sleeping through the platform's word wait.  Nothing here is owned by the
// operating system, so a pair needs no destroying and cannot fail to be
// made, and the same rules hold on every platform.
#include <new>

#include "platform/platform.hpp"
#include "platform/word_wait.hpp"

namespace quorvel::platform {

// Each event has 16 bits of the state word.  An auto-reset event keeps its
// pending sets there; a manual-reset one keeps "set" in bit 0 and its set
// count in bits 1-15.
constexpr uint32_t kEventMask = 0xFFFFu;
constexpr uint32_t kManualSet = 1u;

static uint32_t event_shift(int which) { return which == 0 ? 0u : 16u; }
static bool is_manual(const EventPair *pair, int which) { return (pair->manual & (1u << which)) != 0; }
static uint32_t event_bits(uint32_t state, int which) { return (state >> event_shift(which)) & kEventMask; }

void event_pair_init(EventPair *pair, bool first_manual, bool second_manual) {
  new (&pair->state) std::atomic<uint32_t>(0);
  pair->manual = (first_manual ? 1u : 0u) | (second_manual ? 2u : 0u);
}

// Sets a manual-reset event and advances its set count.
static uint32_t manual_set_bits(uint32_t bits) { return ((bits + 2u) & kEventMask) | kManualSet; }

void event_set(EventPair *pair, int which) {
  const uint32_t shift = event_shift(which);
  std::atomic<uint32_t> *word = &pair->state;
  const bool manual = is_manual(pair, which);
  uint32_t s = word->load(std::memory_order_relaxed);
  uint32_t bits;
  do {
    bits = event_bits(s, which);
    if (!manual && bits == kEventMask) break;  // saturated: already releasing plenty
    bits = manual ? manual_set_bits(bits) : bits + 1u;
  } while (!word->compare_exchange_weak(s, (s & ~(kEventMask << shift)) | (bits << shift),
                                        std::memory_order_release, std::memory_order_relaxed));
  // A sleeper that wakes always looks again and takes what is there, so one
  // wake-up per set of an auto-reset event is enough.  Only the address is
  // used from here on.
  if (manual) {
    word_wake_all(word);
  } else {
    word_wake_one(word);
  }
}

void event_reset(EventPair *pair, int which) {
  const uint32_t cleared = is_manual(pair, which) ? kManualSet : kEventMask;
  pair->state.fetch_and(~(cleared << event_shift(which)), std::memory_order_relaxed);
}

uint32_t event_pending(const EventPair *pair, int which) {
  const uint32_t bits = event_bits(pair->state.load(std::memory_order_acquire), which);
  return is_manual(pair, which) ? bits & kManualSet : bits;
}

uint32_t event_set_count(const EventPair *pair, int which) {
  return event_bits(pair->state.load(std::memory_order_acquire), which) >> 1;
}

// Whether event which releases a waiter that saw set count since_count
// of event since_which.
static bool releases(const EventPair *pair, uint32_t state, int which, uint32_t since_which,
                     uint32_t since_count) {
  const uint32_t bits = event_bits(state, which);
  if (!is_manual(pair, which)) return bits != 0;
  if ((bits & kManualSet) == 0) return false;
  return static_cast<uint32_t>(which) != since_which || (bits >> 1) != since_count;
}

// Takes the lowest-numbered event that releases the waiter, using up one
// set of an auto-reset one.  *seen is the state looked at last, for the
// word wait to sleep on.
static bool take_event(EventPair *pair, uint32_t since_which, uint32_t since_count, uint32_t *seen,
                       Wait *taken) {
  uint32_t s = pair->state.load(std::memory_order_acquire);
  for (;;) {
    *seen = s;
    int which = releases(pair, s, 0, since_which, since_count)   ? 0
                : releases(pair, s, 1, since_which, since_count) ? 1
                                                                 : -1;
    if (which < 0) return false;
    *taken = which == 0 ? Wait::kFirst : Wait::kSecond;
    if (is_manual(pair, which)) return true;
    if (pair->state.compare_exchange_weak(s, s - (1u << event_shift(which)),
                                          std::memory_order_acquire, std::memory_order_acquire))
      return true;
  }
}

static Wait wait_for_event(EventPair *pair, int32_t timeout_ms, uint32_t since_which,
                           uint32_t since_count) {
  const WaitDeadline deadline = wait_deadline_after_ms(timeout_ms);
  for (;;) {
    uint32_t seen = 0;
    Wait taken = Wait::kFailed;
    if (take_event(pair, since_which, since_count, &seen, &taken)) return taken;
    if (timeout_ms == 0 || !word_wait(&pair->state, seen, deadline)) {
      // One last look: an event set as the time ran out still counts, and a
      // wake-up meant for us is not wasted.
      if (take_event(pair, since_which, since_count, &seen, &taken)) return taken;
      return Wait::kTimedOut;
    }
  }
}

Wait event_wait_any_since(EventPair *pair, int32_t timeout_ms, int which, uint32_t seen_count) {
  return wait_for_event(pair, timeout_ms, static_cast<uint32_t>(which), seen_count);
}

}  // namespace quorvel::platform
