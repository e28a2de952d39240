// The calling thread's id, kept per thread: gettid is a system call, and
// the debug queue stamps every line with it.
#include <pthread.h>

#include <atomic>

#include "platform/platform.hpp"

namespace quorvel::platform {

namespace {

// A fork gives the child's one thread a new id but a copy of the parent
// thread's cache; the generation tells the two apart.
std::atomic<uint32_t> g_generation{1};
pthread_once_t g_fork_handler_once = PTHREAD_ONCE_INIT;

void after_fork_in_child() {
  g_generation.fetch_add(1, std::memory_order_relaxed);
}

void install_fork_handler() {
  pthread_atfork(nullptr, nullptr, after_fork_in_child);
}

struct CachedId {
  uint32_t generation;  // 0: never filled
  uint32_t id;
};
thread_local CachedId t_cached;

}  // namespace

uint32_t thread_id_cached() {
  CachedId &cached = t_cached;
  if (cached.generation == g_generation.load(std::memory_order_relaxed)) return cached.id;
  pthread_once(&g_fork_handler_once, install_fork_handler);
  cached.generation = g_generation.load(std::memory_order_relaxed);
  cached.id = thread_id();
  return cached.id;
}

}  // namespace quorvel::platform
