// The calling thread's id, cached per thread.  A fork gives the child's
// thread a new id, so an at-fork handler moves a generation counter on and
// every cached id of an older generation is asked for again.
#include <pthread.h>

#include <atomic>

#include "platform/platform.hpp"

namespace quorvel::platform {
namespace {

std::atomic<uint32_t> g_fork_generation{1};
// 0: at-fork handler not registered, 1: being registered, 2: registered.
std::atomic<int> g_atfork_state{0};

void after_fork_in_child() { g_fork_generation.fetch_add(1, std::memory_order_relaxed); }

struct CachedId {
  uint32_t generation;  // 0: nothing cached yet
  uint32_t id;
};
thread_local CachedId t_cached __attribute__((tls_model("initial-exec"))) = {0, 0};

}  // namespace

uint32_t cached_thread_id() {
  uint32_t generation = g_fork_generation.load(std::memory_order_relaxed);
  if (t_cached.generation == generation) return t_cached.id;
  uint32_t id = thread_id();
  // Nothing may be cached before the handler is in place, or a fork could
  // hand a stale id to the child.
  if (g_atfork_state.load(std::memory_order_acquire) != 2) {
    int expected = 0;
    if (!g_atfork_state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) return id;
    pthread_atfork(nullptr, nullptr, after_fork_in_child);
    g_atfork_state.store(2, std::memory_order_release);
  }
  t_cached = {g_fork_generation.load(std::memory_order_relaxed), id};
  return id;
}

}  // namespace quorvel::platform
