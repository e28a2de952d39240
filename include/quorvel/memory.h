/*
 * Memory pools and indexed containers in caller memory.
 */
#ifndef QUORVEL_MEMORY_H
#define QUORVEL_MEMORY_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"
#include "quorvel/concurrency.h"

QRVL_BEGIN_DECLS

/* ---- sram pool allocator ---------------------------------------------------- */

/* @@SRAM@@ */

/* ---- Slot index and record database -------------------------------------- */

/* FastIdxCallback runs on a slot while that slot's lock is held: it gets the
   slot number and the caller's argument unchanged, and its result is passed
   back by the operation that called it.  The red-black tree uses it too. */
typedef int32_t (*FastIdxCallback)(uint32_t slot, void *argument);

/* FastIdxSlot is one entry of a slot index's caller-supplied array. */
typedef struct FastIdxSlot {
  uint32_t state; /* 0 free, 1 in use, 2 in use with its release pending */
  uint32_t ring;  /* the slot number stored at free-ring position k of entry k */
} FastIdxSlot;

/* FastIdx hands out the slot numbers 0 .. count-1 of a caller's table in
   constant time, from a free ring of count + 1 positions: first in ascending
   order, then in the order they were released. */
typedef struct FastIdx {
  FastIdxSlot *slots; /* count entries, caller memory */
  Mutex *locks;       /* count recursive slot locks, or NULL for none */
  uint32_t count;
  uint32_t head;      /* ring position of the next slot to hand out */
  uint32_t tail;      /* ring position of the next released slot */
  uint32_t used;      /* slots handed out and not yet released */
  uint32_t spare;     /* ring position count */
  Mutex lock;         /* plain; guards head, tail, used and the ring */
} FastIdx;

/* MemDb is a FastIdx over a caller's table of fixed-size records with a key
   field; it starts with its FastIdx, so the slot operations take it too. */
typedef struct MemDb {
  FastIdx index;
  void *table;          /* record i is at table + i * record_size */
  uint32_t record_size;
  uint32_t key_length;
  uint32_t key_offset;  /* of the key field inside a record */
} MemDb;

/* fastIdx_init prepares x over count slots (all free) and, when locks is
   not NULL, makes every slot lock a recursive Mutex; 0, or -1 when count is
   0 or slots is NULL.  x, slots and locks stay caller memory.  Not
   thread-safe (nothing else may use x meanwhile). */
QRVL_API int32_t fastIdx_init(FastIdx *x, FastIdxSlot *slots, Mutex *locks, uint32_t count);
/* fastIdx_init2 is fastIdx_init, except that every slot starts in state 1
   (in use) while the free ring still holds every slot and used is 0.  The
   slots are then meant to be handed out with fastIdx_alloc as usual (which
   sets state 1 again); releasing a slot that is still in the free ring
   overfills the ring, which then looks empty, so callers should not. */
QRVL_API int32_t fastIdx_init2(FastIdx *x, FastIdxSlot *slots, Mutex *locks, uint32_t count);
/* fastIdx_alloc hands out one slot, sets it in use and runs callback (if
   any) under its lock.  Returns the slot number; -1 when no slot is free or
   when the callback set the slot's release pending (the slot is free
   again); a negative callback result otherwise (the slot stays in use).
   Thread-safe. */
QRVL_API int32_t fastIdx_alloc(FastIdx *x, void *argument, FastIdxCallback callback);
/* fastIdx_free releases slot: under its lock the state becomes 0 and then
   callback (if any) runs; the slot goes back to the free ring.  Returns the
   slot number, or -1 when it is out of range or already free.
   Thread-safe. */
QRVL_API int32_t fastIdx_free(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback callback);
/* fastIdx_route runs in_use (for a slot in use) or on_free (for a free
   slot) under the slot's lock and returns its result; without the matching
   callback 1 for a slot in use, 0 for a free one; 0 for slot >= count.  A
   release set pending by the callback is carried out before returning.
   Thread-safe. */
QRVL_API int32_t fastIdx_route(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback in_use,
                               FastIdxCallback on_free);
/* fastIdx_route_delete marks an in-use slot for release at the end of the
   operation whose callback is running on it; it takes no lock, so call it
   only from such a callback.  Returns slot, or -1 when it is out of range
   or free. */
QRVL_API int32_t fastIdx_route_delete(FastIdx *x, uint32_t slot);
/* fastIdx_lock takes slot's lock (recursive) so that a caller can hold it
   across several steps; nothing happens for slot >= count or an index
   without slot locks.  Thread-safe. */
QRVL_API void fastIdx_lock(FastIdx *x, uint32_t slot);
/* fastIdx_unlock releases what fastIdx_lock took, under the same
   conditions.  Thread-safe. */
QRVL_API void fastIdx_unlock(FastIdx *x, uint32_t slot);
/* fastIdx_deinit releases the slot locks (if any) and x's own lock; only a
   new fastIdx_init makes x usable again.  Not thread-safe. */
QRVL_API void fastIdx_deinit(FastIdx *x);

/* memdb_init prepares d over count records of record_size bytes at table,
   whose key field of key_length bytes lies at key (inside record 0); all
   slots start free.  0, or -1 when key or table is NULL, key lies below
   table, or count is 0 or slots NULL.  Caller memory throughout.  Release
   with fastIdx_deinit on &d->index.  Not thread-safe. */
QRVL_API int32_t memdb_init(MemDb *d, void *table, Mutex *locks, FastIdxSlot *slots, uint32_t count,
                            uint32_t record_size, uint32_t key_length, const void *key);
/* memdb_insert copies record_size bytes of record into a free slot under
   the slot's lock and returns the slot number; -1 for a NULL record or a
   full table.  Duplicate keys are not checked.  Thread-safe. */
QRVL_API int32_t memdb_insert(MemDb *d, const void *record);
/* memdb_query finds the in-use record with the lowest slot number whose key
   field equals key and returns callback(slot, argument) under its lock, or
   1 without a callback.  -1 when it has visited as many in-use slots as
   were in use when it started without a match; -2 for a NULL key, or when
   it reached the end of the table first.  Thread-safe. */
QRVL_API int32_t memdb_query(MemDb *d, const void *key, void *argument, FastIdxCallback callback);
/* memdb_exist returns the slot number + 1 of the record memdb_query would
   find, or 0.  Thread-safe. */
QRVL_API int32_t memdb_exist(MemDb *d, const void *key);
/* memdb_erase releases the in-use record with the lowest slot number whose
   key field equals key, running callback (if any) under its lock after its
   state became 0; 0 when one was released, -1 when none matched, -2 for a
   NULL key.  Thread-safe. */
QRVL_API int32_t memdb_erase(MemDb *d, const void *key, void *argument, FastIdxCallback callback);
/* memdb_route is fastIdx_route with callback for an in-use slot and none
   for a free one.  Thread-safe. */
QRVL_API int32_t memdb_route(MemDb *d, uint32_t slot, void *argument, FastIdxCallback callback);
/* memdb_route_delete is fastIdx_route_delete (the same function). */
QRVL_API int32_t memdb_route_delete(MemDb *d, uint32_t slot);
/* memdb_lock is fastIdx_lock (the same function).  Thread-safe. */
QRVL_API void memdb_lock(MemDb *d, uint32_t slot);
/* memdb_unlock is fastIdx_unlock (the same function).  Thread-safe. */
QRVL_API void memdb_unlock(MemDb *d, uint32_t slot);

/* ---- Pooled red-black tree ------------------------------------------------- */

/* @@RBTREE@@ */

/* ---- STD_Map and STD_List ---------------------------------------------------- */

/* @@STD-MAP-LIST@@ */

/* ---- slp string ring, Cclass object pool and bit arrays --------------------- */

/* @@SLP-CCLASS-BITS@@ */

QRVL_END_DECLS

#endif /* QUORVEL_MEMORY_H */
