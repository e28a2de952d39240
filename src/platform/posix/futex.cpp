#include "platform/posix/futex.hpp"

#include <cerrno>
#include <climits>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quorvel::platform::posix {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

Deadline deadline_after_ms(int32_t timeout_ms) {
  Deadline d{};
  if (timeout_ms < 0) {
    d.never = true;
    return d;
  }
  clock_gettime(CLOCK_MONOTONIC, &d.at);
  d.at.tv_sec += timeout_ms / 1000;
  d.at.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
  if (d.at.tv_nsec >= 1000000000L) {
    d.at.tv_sec += 1;
    d.at.tv_nsec -= 1000000000L;
  }
  return d;
}

bool time_left(const Deadline &deadline, timespec *left) {
  if (deadline.never) return true;
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  left->tv_sec = deadline.at.tv_sec - now.tv_sec;
  left->tv_nsec = deadline.at.tv_nsec - now.tv_nsec;
  if (left->tv_nsec < 0) {
    left->tv_sec -= 1;
    left->tv_nsec += 1000000000L;
  }
  return left->tv_sec > 0 || (left->tv_sec == 0 && left->tv_nsec > 0);
}

bool futex_wait(std::atomic<uint32_t> *word, uint32_t expected, const Deadline &deadline) {
  timespec left{};
  if (!time_left(deadline, &left)) return false;
  // FUTEX_WAIT takes a relative time-out measured on CLOCK_MONOTONIC.
  long rc = syscall(SYS_futex, reinterpret_cast<uint32_t *>(word), FUTEX_WAIT_PRIVATE,
                    expected, deadline.never ? nullptr : &left, nullptr, 0);
  if (rc == -1 && errno == ETIMEDOUT) return false;
  return true;  // woken, value changed (EAGAIN) or interrupted (EINTR)
}

void futex_wake(std::atomic<uint32_t> *word, int count) {
  syscall(SYS_futex, reinterpret_cast<uint32_t *>(word), FUTEX_WAKE_PRIVATE, count, nullptr,
          nullptr, 0);
}

}  // namespace quorvel::platform::posix
