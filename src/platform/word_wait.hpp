// Sleeping on a 32-bit word until another thread changes it: the one
// primitive that the objects living inside caller records (event pairs,
// and on Linux the semaphores) are built on.  Each operating system answers
// it in its own folder: a futex on Linux, WaitOnAddress on Windows.
#pragma once

#include <atomic>
#include <cstdint>

namespace quorvel::platform {

// A point on the system's monotonic clock in nanoseconds, or "never" for
// waits without limit.  Changes to the wall clock never stretch a wait.
struct WaitDeadline {
  bool never;
  int64_t at_ns;
};

// A timeout below 0 gives "never".
WaitDeadline wait_deadline_after_ms(int32_t timeout_ms);

// Sleeps while *word == expected, until woken or the deadline passes.  May
// return early for no reason; returns false only when the deadline passed.
bool word_wait(std::atomic<uint32_t> *word, uint32_t expected, const WaitDeadline &deadline);

// Wakes one or every thread sleeping on word.  Only the address is used, so
// the word may already be gone: at worst a stranger wakes spuriously.
void word_wake_one(std::atomic<uint32_t> *word);
void word_wake_all(std::atomic<uint32_t> *word);

}  // namespace quorvel::platform
