// The word wait on Linux: the futex system call, with deadlines on
// CLOCK_MONOTONIC.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

#include "platform/word_wait.hpp"

namespace quorvel::platform {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

constexpr int64_t kNanosPerSecond = 1000000000;

static int64_t monotonic_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kNanosPerSecond + now.tv_nsec;
}

WaitDeadline wait_deadline_after_ms(int32_t timeout_ms) {
  if (timeout_ms < 0) return {true, 0};
  return {false, monotonic_ns() + static_cast<int64_t>(timeout_ms) * 1000000};
}

bool word_wait(std::atomic<uint32_t> *word, uint32_t expected, const WaitDeadline &deadline) {
  timespec left{};
  if (!deadline.never) {
    const int64_t ns = deadline.at_ns - monotonic_ns();
    if (ns <= 0) return false;
    left.tv_sec = static_cast<time_t>(ns / kNanosPerSecond);
    left.tv_nsec = static_cast<long>(ns % kNanosPerSecond);
  }
  // FUTEX_WAIT takes a relative time-out measured on CLOCK_MONOTONIC.
  long rc = syscall(SYS_futex, reinterpret_cast<uint32_t *>(word), FUTEX_WAIT_PRIVATE, expected,
                    deadline.never ? nullptr : &left, nullptr, 0);
  if (rc == -1 && errno == ETIMEDOUT) return false;
  return true;  // woken, value changed (EAGAIN) or interrupted (EINTR)
}

static void wake(std::atomic<uint32_t> *word, int count) {
  syscall(SYS_futex, reinterpret_cast<uint32_t *>(word), FUTEX_WAKE_PRIVATE, count, nullptr,
          nullptr, 0);
}

void word_wake_one(std::atomic<uint32_t> *word) { wake(word, 1); }
void word_wake_all(std::atomic<uint32_t> *word) { wake(word, INT_MAX); }

}  // namespace quorvel::platform
