// Counting semaphores whose count never passes 2147483647.
#include "quorvel/concurrency.h"

#include "platform/platform.hpp"

namespace platform = quorvel::platform;

namespace {

constexpr int32_t kMaximumCount = 2147483647;

}  // namespace

extern "C" int32_t SemaphoreInit(Semaphore *s, int32_t count) {
  if (s == nullptr) return -1;
  return platform::semaphore_init(platform::as_semaphore(&s->semaphore), count, kMaximumCount) ==
                 0
             ? 0
             : -1;
}

extern "C" int32_t SemaphoreWait(Semaphore *s, int32_t timeout_ms) {
  if (s == nullptr) return -1;
  switch (platform::semaphore_wait(platform::as_semaphore(&s->semaphore), timeout_ms)) {
    case platform::Wait::kTimedOut:
      return 0;
    case platform::Wait::kFailed:
      return -1;
    default:
      return 1;
  }
}

extern "C" int32_t SemaphorePost(Semaphore *s) {
  if (s == nullptr) return -1;
  return platform::semaphore_post(platform::as_semaphore(&s->semaphore)) == 0 ? 1 : -1;
}

extern "C" int32_t SemaphoreFree(Semaphore *s) {
  if (s != nullptr) platform::semaphore_destroy(platform::as_semaphore(&s->semaphore));
  return 0;
}
