// Slot-index steps shared by the record database and the red-black tree.
#pragma once

#include <cstdint>

#include "quorvel/memory.h"

namespace quorvel::detail {

// A slot's state is read outside its lock in a few places (the tree's
// delete check, a pending-release test after a callback), so every access
// is atomic; the slot lock still orders what a callback does with it.
inline uint32_t slot_state(const FastIdx *x, uint32_t slot) {
  return __atomic_load_n(&x->slots[slot].state, __ATOMIC_RELAXED);
}
inline void set_slot_state(FastIdx *x, uint32_t slot, uint32_t state) {
  __atomic_store_n(&x->slots[slot].state, state, __ATOMIC_RELAXED);
}

inline void slot_lock(FastIdx *x, uint32_t slot) {
  if (x->locks) MutexLock(&x->locks[slot]);
}
inline void slot_unlock(FastIdx *x, uint32_t slot) {
  if (x->locks) MutexUnlock(&x->locks[slot]);
}

// Puts a released slot number back at the tail of the free ring.  Must be
// called without any slot lock held.
void ring_push(FastIdx *x, uint32_t slot);

// Drops the slot lock taken for a callback.  A release the callback set
// pending (state 2) is carried out first, still under the lock: the state
// goes to 0 there, so no other thread can free the slot, have it handed out
// again and then lose it to this late release.  The slot number goes back
// to the free ring after the lock is dropped.  Returns whether it did.
bool unlock_releasing_pending(FastIdx *x, uint32_t slot);

// Runs callback on slot under its lock (in_use for a slot in use, on_free
// for a free one) and carries out a release the callback set pending.
// The same as fastIdx_route for a slot number below count.
int32_t route_slot(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback in_use,
                   FastIdxCallback on_free);

}  // namespace quorvel::detail
