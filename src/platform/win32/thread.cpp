// Threads, thread ids and sleeping on Win32.  Threads start through the C
// runtime's _beginthreadex, so the runtime's per-thread state is set up
// and released with them.
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstdlib>

#include "platform/platform.hpp"

namespace quorvel::platform {

namespace {

// A thread may give up its own handle (thread_detach_self), so it has to
// know it: the creator starts the thread suspended and hands the handle
// over in this block before letting it run.
struct Launch {
  ThreadStart start;
  HANDLE handle;
};

thread_local HANDLE t_own_handle = nullptr;

// Starts still to refuse; see fail_thread_starts.
std::atomic<uint32_t> g_refused_starts{0};

// True when this start is one of those to refuse, counting it off.
bool refuse_start() {
  uint32_t left = g_refused_starts.load(std::memory_order_relaxed);
  while (left > 0 && !g_refused_starts.compare_exchange_weak(left, left - 1)) {
  }
  return left > 0;
}

unsigned __stdcall trampoline(void *raw) {
  Launch *launch = static_cast<Launch *>(raw);
  const ThreadStart start = launch->start;
  t_own_handle = launch->handle;
  free(launch);
  start.main(start.argument);
  return 0;
}

}  // namespace

void fail_thread_starts(uint32_t count) { g_refused_starts.store(count); }

uintptr_t thread_start(const ThreadStart *start, size_t stack_size) {
  if (refuse_start()) return 0;
  Launch *launch = static_cast<Launch *>(malloc(sizeof(Launch)));
  if (launch == nullptr) return 0;
  launch->start = *start;
  // Below 64 KiB the system rounds up to its own minimum anyway.
  const unsigned stack = stack_size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(stack_size);
  const uintptr_t handle = _beginthreadex(nullptr, stack, trampoline, launch, CREATE_SUSPENDED, nullptr);
  if (handle == 0) {
    free(launch);
    return 0;
  }
  launch->handle = reinterpret_cast<HANDLE>(handle);
  ResumeThread(launch->handle);
  return handle;
}

void thread_join(uintptr_t handle) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
}

void thread_detach_self() {
  if (t_own_handle == nullptr) return;
  CloseHandle(t_own_handle);
  t_own_handle = nullptr;
}

uint32_t thread_id() { return static_cast<uint32_t>(GetCurrentThreadId()); }

void sleep_ms(uint32_t ms) { Sleep(ms); }

void yield_processor() { SwitchToThread(); }

}  // namespace quorvel::platform
