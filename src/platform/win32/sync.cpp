// Semaphores and recursive locks on Win32 objects: a system semaphore
// (whose release fails past its maximum, as ours must) and a critical
// section kept inside the caller's record.
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>

#include "platform/platform.hpp"

namespace quorvel::platform {

int semaphore_init(Semaphore *s, int32_t initial, int32_t maximum) {
  s->handle = nullptr;
  s->maximum = 0;
  s->reserved = 0;
  if (initial < 0 || maximum < 1 || initial > maximum) return -1;
  s->handle = CreateSemaphoreA(nullptr, initial, maximum, nullptr);
  if (s->handle == nullptr) return -1;
  s->maximum = maximum;
  return 0;
}

Wait semaphore_wait(Semaphore *s, int32_t timeout_ms) {
  if (s->handle == nullptr) return Wait::kFailed;
  const DWORD wait_ms = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  switch (WaitForSingleObject(s->handle, wait_ms)) {
    case WAIT_OBJECT_0:
      return Wait::kFirst;
    case WAIT_TIMEOUT:
      return Wait::kTimedOut;
    default:
      return Wait::kFailed;
  }
}

int semaphore_post(Semaphore *s) {
  // The kernel adds the unit under its own lock; the record is not read
  // again afterwards.
  HANDLE handle = s->handle;
  if (handle == nullptr) return -1;
  return ReleaseSemaphore(handle, 1, nullptr) ? 0 : -1;
}

// The system has no call that takes several units at once, so each unit
// is a wait that only looks.
int32_t semaphore_take_up_to(Semaphore *s, int32_t n) {
  if (s->handle == nullptr) return 0;
  int32_t taken = 0;
  while (taken < n && WaitForSingleObject(s->handle, 0) == WAIT_OBJECT_0) ++taken;
  return taken;
}

void semaphore_destroy(Semaphore *s) {
  if (s->handle != nullptr) CloseHandle(s->handle);
  s->handle = nullptr;
  s->maximum = 0;
}

// ---- Recursive lock ------------------------------------------------------------

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(qrvl_recursive_lock_storage));
static_assert(alignof(CRITICAL_SECTION) <= alignof(qrvl_recursive_lock_storage));

static CRITICAL_SECTION *as_section(qrvl_recursive_lock_storage *lock) {
  return reinterpret_cast<CRITICAL_SECTION *>(lock);
}

void recursive_lock_init(qrvl_recursive_lock_storage *lock) { InitializeCriticalSection(as_section(lock)); }
void recursive_lock_enter(qrvl_recursive_lock_storage *lock) { EnterCriticalSection(as_section(lock)); }
void recursive_lock_leave(qrvl_recursive_lock_storage *lock) { LeaveCriticalSection(as_section(lock)); }
void recursive_lock_destroy(qrvl_recursive_lock_storage *lock) { DeleteCriticalSection(as_section(lock)); }

}  // namespace quorvel::platform
