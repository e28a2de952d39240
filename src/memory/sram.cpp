// sram: one process-wide first-fit heap in memory the caller lends once.
//
// Blocks tile the heap from base; each header records its payload size and
// the header in front, so release merges both ways in constant time while
// allocation walks from the start.  Separate regions are chained by "bridge"
// blocks that look used and span the gap to the next region.
#include "memory/sram.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console_line.hpp"
#include "quorvel/memory.h"

namespace quorvel::detail {
namespace {

constexpr uint32_t H = kSramHeaderSize;
constexpr uint32_t kMinRegion = 3 * H;

constexpr const char kMissing[] = "[warning] pointer missing !!\r\n";
constexpr const char kFreeViolence[] = "[warning] pointer access violence when Free_Alloc() !!\r\n";
constexpr const char kReallocViolence[] =
    "[warning] pointer access violence when sram_realloc() !!\r\n";

struct Pool {
  uint8_t initialised;
  uintptr_t base;
  uint32_t total;
  uint32_t used;
  uint32_t used_magic;
  uint32_t free_magic;
  Mutex lock;
};

// Before the link the figures read as an empty pool: used counts one header.
Pool g_pool = {0, 0, 0, H, 0xFF000000u, 0, {}};

// A plain Mutex: one holder, no owner, never destroyed.
void lock_init() {
  MutexInit(&g_pool.lock);
}
void lock() {
  MutexLock(&g_pool.lock);
}
void unlock() {
  MutexUnlock(&g_pool.lock);
}

uint32_t load32(uintptr_t at) {
  uint32_t v;
  std::memcpy(&v, reinterpret_cast<const void *>(at), sizeof v);
  return v;
}

void store32(uintptr_t at, uint32_t v) {
  std::memcpy(reinterpret_cast<void *>(at), &v, sizeof v);
}

uint32_t magic_of(uintptr_t h) {
  return load32(h + offsetof(SramHeader, magic));
}
uint32_t size_of(uintptr_t h) {
  return load32(h + offsetof(SramHeader, size));
}
void set_magic(uintptr_t h, uint32_t v) {
  store32(h + offsetof(SramHeader, magic), v);
}
void set_size(uintptr_t h, uint32_t v) {
  store32(h + offsetof(SramHeader, size), v);
}

uintptr_t prev_of(uintptr_t h) {
  uintptr_t v;
  std::memcpy(&v, reinterpret_cast<const void *>(h + offsetof(SramHeader, prev)), sizeof v);
  return v;
}

void set_prev(uintptr_t h, uintptr_t v) {
  std::memcpy(reinterpret_cast<void *>(h + offsetof(SramHeader, prev)), &v, sizeof v);
}

void write_header(uintptr_t h, uint32_t magic, uint32_t size, uintptr_t prev) {
  const SramHeader header = {magic, size, prev};
  std::memcpy(reinterpret_cast<void *>(h), &header, sizeof header);
}

uintptr_t align_up(uintptr_t a) {
  return (a + (kSramGranule - 1)) & ~uintptr_t{kSramGranule - 1};
}

// Headers are read only below this address: nothing starts in the last H
// bytes of the heap.
uintptr_t header_limit() {
  return g_pool.base + g_pool.total - H;
}

using quorvel::detail::print_console_line;

[[noreturn]] void fatal(uintptr_t payload, const char *where, uint32_t magic) {
  std::printf("[fatal error] pointer(%p) %s core dump {%x, %x.%x.%x}!!\r\n",
              reinterpret_cast<void *>(payload), where, magic >> 24, (magic >> 16) & 0xFFu,
              (magic >> 8) & 0xFFu, magic & 0xFFu);
  std::exit(-1);
}

void *get_alloc(uint32_t count, uint32_t size) {
  // A product that does not fit in 32 bits would hand out a block far
  // smaller than the caller believes: refuse it.
  const uint64_t wanted = count != 0 ? uint64_t{count} * size : size;
  if (!g_pool.initialised || wanted == 0) return nullptr;
  const uint64_t rounded = (wanted + kSramGranule - 1) & ~uint64_t{kSramGranule - 1};
  if (rounded > UINT32_MAX) return nullptr;
  const auto n = static_cast<uint32_t>(rounded);

  lock();
  const uintptr_t limit = header_limit();
  const uintptr_t base = g_pool.base;
  const uint64_t stop = uint64_t{g_pool.total} - H;
  const uint32_t free_magic = g_pool.free_magic;
  const uint32_t used_magic = g_pool.used_magic;
  const uint64_t need = uint64_t{n} + H;  // room for the leftover's header too
  uintptr_t h = base;
  uint32_t s = 0;
  for (;;) {
    const uint32_t magic = magic_of(h);
    s = size_of(h);
    // Free magics sit below 0x01000000 and used ones above: a word that is
    // neither is a damaged header.
    if (magic == free_magic) {
      if (s >= need) break;
    } else if (magic != used_magic) {
      fatal(h + H, "Get_Alloc()", magic);
    }
    const uint64_t next = uint64_t{h - base} + H + s;
    if (next >= stop) {
      unlock();
      return nullptr;
    }
    h = base + static_cast<uintptr_t>(next);
  }

  const uintptr_t rest = h + H + n;
  if (rest < limit) {
    write_header(rest, g_pool.free_magic, s - n - H, h);
    const uintptr_t after = h + H + s;
    if (after < limit && magic_of(after) == g_pool.used_magic) set_prev(after, rest);
    g_pool.used += H;
  }
  // Unsplit, the last block drops the H bytes behind it: they stay counted
  // as free but no block holds them any more.
  set_magic(h, g_pool.used_magic);
  set_size(h, n);
  void *payload = reinterpret_cast<void *>(h + H);
  if (count != 0) std::memset(payload, 0, n);
  g_pool.used += n;
  unlock();
  return payload;
}

bool inside_pool(uintptr_t p) {
  return p >= g_pool.base + H && p < g_pool.base + g_pool.total;
}

void free_alloc(void *ptr) {
  if (ptr == nullptr) return;
  if (!g_pool.initialised) {
    print_console_line(kMissing);
    return;
  }
  const auto p = reinterpret_cast<uintptr_t>(ptr);
  if (!inside_pool(p)) {
    print_console_line(kFreeViolence);
    print_console_line(kMissing);
    return;
  }
  lock();
  const uintptr_t limit = header_limit();
  uintptr_t h = p - H;
  const uint32_t magic = magic_of(h);
  if (magic != g_pool.used_magic) fatal(p, "Free_Alloc()", magic);
  set_magic(h, g_pool.free_magic);
  const uint32_t s = size_of(h);
  if (g_pool.used >= s) g_pool.used -= s;

  // A prev outside the heap can only come from a damaged header: never
  // follow it.
  const uintptr_t prev = prev_of(h);
  if (prev >= g_pool.base && prev < limit && magic_of(prev) == g_pool.free_magic) {
    const uint32_t merged = size_of(prev) + s + H;
    set_size(prev, merged);
    const uintptr_t after = prev + H + merged;
    if (after < limit) set_prev(after, prev);
    h = prev;
    if (g_pool.used >= H) g_pool.used -= H;
  }
  const uintptr_t next = h + H + size_of(h);
  if (next < limit && magic_of(next) == g_pool.free_magic) {
    const uint32_t merged = size_of(h) + size_of(next) + H;
    set_size(h, merged);
    const uintptr_t after = h + H + merged;
    if (after < limit) set_prev(after, h);
    if (g_pool.used >= H) g_pool.used -= H;
  }
  unlock();
}

void link_magics() {
  g_pool.initialised = 1;
  g_pool.used_magic += 0x52414Du;
  g_pool.free_magic += 0x414Du;
}

}  // namespace

SramView sram_view() {
  if (!g_pool.initialised) return {false, g_pool.base, g_pool.total, g_pool.used};
  lock();
  const SramView view = {true, g_pool.base, g_pool.total, g_pool.used};
  unlock();
  return view;
}

}  // namespace quorvel::detail

using namespace quorvel::detail;

extern "C" int32_t sram_poollink(void *addr, uint32_t size) {
  if (size < kMinRegion || addr == nullptr) return -1;
  if (g_pool.initialised) return -2;
  const auto a = reinterpret_cast<uintptr_t>(addr);
  const uintptr_t start = align_up(a);
  link_magics();
  g_pool.base = start;
  g_pool.total = size - static_cast<uint32_t>(start - a);
  write_header(start, g_pool.free_magic, g_pool.total - H, 0);
  lock_init();
  return 0;
}

extern "C" int32_t sram_partial_poollink(void **addrs, uint32_t *sizes, uint32_t count) {
  if (count == 0 || addrs == nullptr || sizes == nullptr) return -1;
  for (uint32_t i = 0; i < count; ++i)
    if (addrs[i] == nullptr) return -1;
  uintptr_t before = 0;
  bool unordered = false;
  for (uint32_t i = 0; i < count; ++i) {
    const auto a = reinterpret_cast<uintptr_t>(addrs[i]);
    const uintptr_t start = align_up(a);
    if (sizes[i] < kMinRegion || start == before) return -1;
    addrs[i] = reinterpret_cast<void *>(start);
    sizes[i] -= static_cast<uint32_t>(start - a);
    if (start < before) unordered = true;
    before = start;
  }
  if (g_pool.initialised) return -2;
  if (unordered) {
    // Region lists are short: insertion sort, moving both arrays together.
    for (uint32_t i = 1; i < count; ++i) {
      void *a = addrs[i];
      const uint32_t s = sizes[i];
      uint32_t j = i;
      for (; j > 0 && reinterpret_cast<uintptr_t>(addrs[j - 1]) > reinterpret_cast<uintptr_t>(a);
           --j) {
        addrs[j] = addrs[j - 1];
        sizes[j] = sizes[j - 1];
      }
      addrs[j] = a;
      sizes[j] = s;
    }
  }
  // Overlapping regions would tile into nonsense, and a heap wider than
  // 32 bits cannot be described by its 32-bit sizes: refuse both while the
  // pool is still unlinked.
  auto at = [&](uint32_t i) { return reinterpret_cast<uintptr_t>(addrs[i]); };
  for (uint32_t i = 1; i < count; ++i)
    if (at(i - 1) + sizes[i - 1] > at(i)) return -1;
  const uint64_t span = uint64_t{at(count - 1)} + sizes[count - 1] - at(0);
  if (span > UINT32_MAX) return -1;

  link_magics();
  g_pool.used = 0;
  g_pool.base = at(0);
  g_pool.total = static_cast<uint32_t>(span);
  for (uint32_t i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    const uintptr_t prev = i == 0 ? 0 : at(i - 1) + sizes[i - 1] - H;
    write_header(at(i), g_pool.free_magic, sizes[i] - (last ? H : 2 * H), prev);
    g_pool.used += H;
    if (last) break;
    const uintptr_t end = at(i) + sizes[i];
    const auto gap = static_cast<uint32_t>(at(i + 1) - end);
    write_header(end - H, g_pool.used_magic, gap, at(i));
    g_pool.used += H + gap;
  }
  lock_init();
  return 0;
}

extern "C" int32_t sram_is_init(void) {
  return g_pool.initialised ? 1 : 0;
}

extern "C" void *sram_malloc(uint32_t size) {
  return get_alloc(0, size);
}

extern "C" void *sram_calloc(uint32_t count, uint32_t size) {
  return get_alloc(count, size);
}

extern "C" void sram_free(void *ptr) {
  free_alloc(ptr);
}

extern "C" void *sram_realloc(void *ptr, uint32_t size) {
  if (ptr == nullptr) return get_alloc(0, size);
  const auto p = reinterpret_cast<uintptr_t>(ptr);
  if (!g_pool.initialised || !inside_pool(p)) {
    print_console_line(kReallocViolence);
    return nullptr;
  }
  if (size == 0) {
    free_alloc(ptr);
    return nullptr;
  }
  lock();
  const uint32_t old = size_of(p - H);
  unlock();
  if (old >= size) return ptr;
  void *moved = get_alloc(0, size);
  if (moved == nullptr) return nullptr;
  // A damaged size must not make the copy run off the heap; the release
  // below reports the damage.
  const uintptr_t room = g_pool.base + g_pool.total - p;
  std::memcpy(moved, ptr, old < room ? old : room);
  free_alloc(ptr);
  return moved;
}

extern "C" void sram_usage(uint32_t *free_bytes, uint32_t *used_bytes, uint32_t *third) {
  const SramView view = sram_view();
  if (used_bytes != nullptr) *used_bytes = view.used;
  if (free_bytes != nullptr) *free_bytes = view.total > view.used ? view.total - view.used : 0;
  if (third != nullptr) *third = 0;
}
