#include "common/alloc_hook.hpp"

#include <cstdlib>
#include <cstring>

namespace quorvel::detail {

namespace {
// Constant-initialised: no constructor runs at load time.
std::atomic<void *(*)(size_t)> g_malloc{nullptr};
std::atomic<void (*)(void *)> g_free{nullptr};
}  // namespace

AllocHooks set_alloc_hooks(const AllocHooks *hooks) {
  AllocHooks previous{g_malloc.load(std::memory_order_acquire),
                      g_free.load(std::memory_order_acquire)};
  g_malloc.store(hooks ? hooks->malloc_fn : nullptr, std::memory_order_release);
  g_free.store(hooks ? hooks->free_fn : nullptr, std::memory_order_release);
  return previous;
}

void *qrvl_malloc(size_t size) {
  if (size == 0) size = 1;
  auto fn = g_malloc.load(std::memory_order_acquire);
  return fn ? fn(size) : std::malloc(size);
}

void *qrvl_calloc(size_t count, size_t size) {
  size_t bytes;
  if (__builtin_mul_overflow(count, size, &bytes)) return nullptr;
  void *block = qrvl_malloc(bytes);
  if (block) std::memset(block, 0, bytes == 0 ? 1 : bytes);
  return block;
}

void qrvl_free(void *block) {
  if (!block) return;
  auto fn = g_free.load(std::memory_order_acquire);
  if (fn)
    fn(block);
  else
    std::free(block);
}

}  // namespace quorvel::detail
