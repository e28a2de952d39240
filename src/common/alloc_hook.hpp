// The one door through which the library's allocating functions reach the
// heap.  Tests swap the functions behind it to make an allocation fail on
// purpose, so that every failure path is exercised rather than assumed.
#pragma once

#include <atomic>
#include <cstddef>

namespace quorvel::detail {

struct AllocHooks {
  void *(*malloc_fn)(size_t size);  // null means the C library's malloc
  void (*free_fn)(void *block);     // null means the C library's free
};

// Installs hooks (null restores the C library for both) and returns the
// previous ones.  Meant for tests; not synchronised with allocations that
// are in flight on other threads beyond each pointer being read atomically.
AllocHooks set_alloc_hooks(const AllocHooks *hooks);

// malloc through the hook.  Zero bytes still give a unique block.
void *qrvl_malloc(size_t size);
// Zero-filled count * size bytes through the hook; null when the product
// overflows or the allocation fails.
void *qrvl_calloc(size_t count, size_t size);
// free through the hook; null is ignored.
void qrvl_free(void *block);

}  // namespace quorvel::detail
