// Plain and recursive mutexes.
//
// A plain mutex is a semaphore of count 1 and maximum 1: it has no owner,
// any thread may release it, and releasing it while it is free fails
// instead of letting two holders in later.  A kind other than 0 or 1 means
// the record was never initialised; lock and unlock refuse it with -1.
#include "quorvel/concurrency.h"

#include "platform/platform.hpp"

namespace platform = quorvel::platform;

namespace {

constexpr uint8_t kPlain = 0;
constexpr uint8_t kRecursive = 1;

}  // namespace

extern "C" int32_t MutexInit(Mutex *m) {
  if (m == nullptr) return -1;
  m->kind = kPlain;
  return platform::semaphore_init(platform::as_semaphore(&m->semaphore), 1, 1) == 0 ? 0 : -1;
}

extern "C" int32_t MutexRInit(Mutex *m) {
  if (m == nullptr) return -1;
  m->kind = kRecursive;
  platform::recursive_lock_init(&m->recursive_lock);
  return 0;
}

extern "C" int32_t MutexLock(Mutex *m) {
  if (m == nullptr) return -1;
  if (m->kind == kPlain) {
    return platform::semaphore_wait(platform::as_semaphore(&m->semaphore), -1) ==
                   platform::Wait::kFirst
               ? 0
               : -1;
  }
  if (m->kind != kRecursive) return -1;
  platform::recursive_lock_enter(&m->recursive_lock);
  return 0;
}

extern "C" int32_t MutexUnlock(Mutex *m) {
  if (m == nullptr) return -1;
  if (m->kind == kPlain) return platform::semaphore_post(platform::as_semaphore(&m->semaphore));
  if (m->kind != kRecursive) return -1;
  platform::recursive_lock_leave(&m->recursive_lock);
  return 0;
}

extern "C" int32_t MutexFree(Mutex *m) {
  if (m == nullptr) return 0;
  if (m->kind == kPlain) {
    platform::semaphore_destroy(platform::as_semaphore(&m->semaphore));
  } else if (m->kind == kRecursive) {
    platform::recursive_lock_destroy(&m->recursive_lock);
  }
  return 0;
}
