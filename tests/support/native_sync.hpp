// White-box probes of the operating-system objects inside the library's
// semaphore and recursive-lock records, for the concurrency tests.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <chrono>
#include <thread>

#include "platform/platform.hpp"

namespace qrvl_test {

inline quorvel::platform::Semaphore *native(qrvl_semaphore_storage *storage) {
  return quorvel::platform::as_semaphore(storage);
}

#if defined(_WIN32)

// The units of a system semaphore, read by taking one and giving it back
// (only where no other thread uses the semaphore).
inline uint32_t semaphore_units(qrvl_semaphore_storage *storage) {
  HANDLE h = static_cast<HANDLE>(native(storage)->handle);
  if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return 0;
  LONG before = 0;
  ReleaseSemaphore(h, 1, &before);
  return static_cast<uint32_t>(before) + 1;
}

// A system semaphore does not tell who waits on it: the waiter gets time
// to fall asleep, and nothing is known about sleepers afterwards.
inline void wait_for_a_sleeper(qrvl_semaphore_storage *) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}
inline void wait_for_sleepers(qrvl_semaphore_storage *, uint32_t) {
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}
inline bool has_no_sleepers(qrvl_semaphore_storage *) { return true; }

inline bool try_enter(qrvl_recursive_lock_storage *lock) {
  auto *section = reinterpret_cast<CRITICAL_SECTION *>(lock);
  if (!TryEnterCriticalSection(section)) return false;
  LeaveCriticalSection(section);
  return true;
}

#else

inline uint32_t semaphore_units(qrvl_semaphore_storage *storage) {
  return static_cast<uint32_t>(native(storage)->state.load());
}

// Threads asleep inside a wait: the state word from bit 33 (bit 32 says
// a wake-up is on its way).
inline uint32_t sleepers(qrvl_semaphore_storage *storage) {
  return static_cast<uint32_t>(native(storage)->state.load() >> 33);
}
inline void wait_for_a_sleeper(qrvl_semaphore_storage *storage) {
  while (sleepers(storage) == 0) continue;
}
inline void wait_for_sleepers(qrvl_semaphore_storage *storage, uint32_t n) {
  while (sleepers(storage) < n) std::this_thread::yield();
}
inline bool has_no_sleepers(qrvl_semaphore_storage *storage) { return sleepers(storage) == 0; }

inline bool try_enter(qrvl_recursive_lock_storage *lock) {
  auto *mutex = reinterpret_cast<pthread_mutex_t *>(lock);
  return pthread_mutex_trylock(mutex) == 0 && pthread_mutex_unlock(mutex) == 0;
}

#endif

}  // namespace qrvl_test
