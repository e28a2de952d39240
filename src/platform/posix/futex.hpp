// Thin wrappers over the Linux futex system call, with deadlines on
// CLOCK_MONOTONIC so that changes to the wall clock never stretch a wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

namespace quorvel::platform::posix {

// A point on CLOCK_MONOTONIC, or "never" for waits without limit.
struct Deadline {
  bool never;
  timespec at;
};

Deadline deadline_after_ms(int32_t timeout_ms);

// Time left until the deadline; false once it has passed.
bool time_left(const Deadline &deadline, timespec *left);

// Sleeps while *word == expected, until woken or the deadline passes.
// Returns false only when the deadline passed.
bool futex_wait(std::atomic<uint32_t> *word, uint32_t expected, const Deadline &deadline);
void futex_wake(std::atomic<uint32_t> *word, int count);

}  // namespace quorvel::platform::posix
