// Slot index: a free ring of count + 1 positions under a plain lock, and one
// recursive lock per slot under which every callback runs.  The ring lock is
// never waited for while a slot lock is held by these operations.
#include "index/fastidx.hpp"

namespace quorvel::detail {

namespace {

inline uint32_t ring_next(const FastIdx *x, uint32_t position) {
  return position == x->count ? 0 : position + 1;
}
inline uint32_t ring_get(const FastIdx *x, uint32_t position) {
  return position == x->count ? x->spare : x->slots[position].ring;
}
inline void ring_set(FastIdx *x, uint32_t position, uint32_t slot) {
  if (position == x->count)
    x->spare = slot;
  else
    x->slots[position].ring = slot;
}

int32_t init_index(FastIdx *x, FastIdxSlot *slots, Mutex *locks, uint32_t count, uint32_t state) {
  if (!x || !slots || count == 0) return -1;
  x->slots = slots;
  x->locks = locks;
  x->count = count;
  for (uint32_t i = 0; i < count; ++i) {
    slots[i].state = state;
    slots[i].ring = i;
  }
  x->head = 0;
  x->tail = count;
  x->used = 0;
  x->spare = count;
  if (locks)
    for (uint32_t i = 0; i < count; ++i) MutexRInit(&locks[i]);
  MutexInit(&x->lock);
  return 0;
}

}  // namespace

void ring_push(FastIdx *x, uint32_t slot) {
  MutexLock(&x->lock);
  ring_set(x, x->tail, slot);
  if (x->used > 0) --x->used;
  x->tail = ring_next(x, x->tail);
  MutexUnlock(&x->lock);
}

bool unlock_releasing_pending(FastIdx *x, uint32_t slot) {
  const bool pending = slot_state(x, slot) == 2;
  if (pending) set_slot_state(x, slot, 0);
  slot_unlock(x, slot);
  if (pending) ring_push(x, slot);
  return pending;
}

int32_t route_slot(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback in_use,
                   FastIdxCallback on_free) {
  slot_lock(x, slot);
  int32_t result;
  if (slot_state(x, slot) != 0)
    result = in_use ? in_use(slot, argument) : 1;
  else
    result = on_free ? on_free(slot, argument) : 0;
  unlock_releasing_pending(x, slot);
  return result;
}

}  // namespace quorvel::detail

using namespace quorvel::detail;

extern "C" {

int32_t fastIdx_init(FastIdx *x, FastIdxSlot *slots, Mutex *locks, uint32_t count) {
  return init_index(x, slots, locks, count, 0);
}

int32_t fastIdx_init2(FastIdx *x, FastIdxSlot *slots, Mutex *locks, uint32_t count) {
  return init_index(x, slots, locks, count, 1);
}

int32_t fastIdx_alloc(FastIdx *x, void *argument, FastIdxCallback callback) {
  if (!x) return -1;
  MutexLock(&x->lock);
  if (x->head == x->tail) {
    MutexUnlock(&x->lock);
    return -1;
  }
  const uint32_t slot = ring_get(x, x->head);
  ++x->used;
  x->head = ring_next(x, x->head);
  MutexUnlock(&x->lock);

  slot_lock(x, slot);
  set_slot_state(x, slot, 1);
  const int32_t result = callback ? callback(slot, argument) : static_cast<int32_t>(slot);
  if (unlock_releasing_pending(x, slot)) return -1;
  return result < 0 ? result : static_cast<int32_t>(slot);
}

int32_t fastIdx_free(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback callback) {
  if (!x || slot >= x->count) return -1;
  slot_lock(x, slot);
  const bool in_use = slot_state(x, slot) != 0;
  if (in_use) {
    set_slot_state(x, slot, 0);
    if (callback) callback(slot, argument);
  }
  slot_unlock(x, slot);
  if (!in_use) return -1;
  ring_push(x, slot);
  return static_cast<int32_t>(slot);
}

int32_t fastIdx_route(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback in_use,
                      FastIdxCallback on_free) {
  if (!x || slot >= x->count) return 0;
  return route_slot(x, slot, argument, in_use, on_free);
}

int32_t fastIdx_route_delete(FastIdx *x, uint32_t slot) {
  if (!x || slot >= x->count || slot_state(x, slot) == 0) return -1;
  set_slot_state(x, slot, 2);
  return static_cast<int32_t>(slot);
}

void fastIdx_lock(FastIdx *x, uint32_t slot) {
  if (x && slot < x->count) slot_lock(x, slot);
}

void fastIdx_unlock(FastIdx *x, uint32_t slot) {
  if (x && slot < x->count) slot_unlock(x, slot);
}

// The index's own lock goes too: nothing may use x after this anyway.
void fastIdx_deinit(FastIdx *x) {
  if (!x) return;
  if (x->locks)
    for (uint32_t i = 0; i < x->count; ++i) MutexFree(&x->locks[i]);
  MutexFree(&x->lock);
}

int32_t memdb_route_delete(MemDb *d, uint32_t slot) QRVL_ALIAS(fastIdx_route_delete);
void memdb_lock(MemDb *d, uint32_t slot) QRVL_ALIAS(fastIdx_lock);
void memdb_unlock(MemDb *d, uint32_t slot) QRVL_ALIAS(fastIdx_unlock);

}  // extern "C"
