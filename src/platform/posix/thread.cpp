// Threads, thread ids and sleeping on pthreads.
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>

#include "platform/platform.hpp"

namespace quorvel::platform {

// Starts still to refuse; see fail_thread_starts.
static std::atomic<uint32_t> g_refused_starts{0};

// True when this start is one of those to refuse, counting it off.
static bool refuse_start() {
  uint32_t left = g_refused_starts.load(std::memory_order_relaxed);
  while (left > 0 && !g_refused_starts.compare_exchange_weak(left, left - 1)) {
  }
  return left > 0;
}

void fail_thread_starts(uint32_t count) { g_refused_starts.store(count); }

// pthreads wants a routine that returns a pointer; ours returns nothing.
static void *trampoline(void *raw) {
  const ThreadStart *start = static_cast<const ThreadStart *>(raw);
  start->main(start->argument);
  return nullptr;
}

uintptr_t thread_start(const ThreadStart *start, size_t stack_size) {
  if (refuse_start()) return 0;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (stack_size > 0) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
    if (stack_size < minimum) stack_size = minimum;
    stack_size = (stack_size + page - 1) / page * page;
    pthread_attr_setstacksize(&attr, stack_size);
  }
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, trampoline, const_cast<ThreadStart *>(start));
  pthread_attr_destroy(&attr);
  if (rc != 0) return 0;
  return static_cast<uintptr_t>(thread);
}

void thread_join(uintptr_t handle) { pthread_join(static_cast<pthread_t>(handle), nullptr); }

void thread_detach_self() { pthread_detach(pthread_self()); }

uint32_t thread_id() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

void sleep_ms(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // A signal leaves the rest of the time in ts; any other failure (EINVAL,
  // EFAULT: neither can happen with these values) would not go away.
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

void yield_processor() { sched_yield(); }

}  // namespace quorvel::platform
