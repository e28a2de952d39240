/** @file
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

/** @name sram pool allocator
   The sram pool is one process-wide first-fit heap carved from memory the
   caller lends once.  Every block carries a header of two 32-bit words and
   one address (16 bytes on 64-bit targets, 12 on 32-bit); request sizes and
   region starts are rounded to the pointer size, so payloads are aligned
   like pointers.  The pool never falls back to malloc. */
/** @{ */

/** sram_poollink links the one region [addr, addr + size) as the pool.
   Returns -1 when size is below three block headers (48 bytes on 64-bit)
   or addr is NULL, -2 when a pool is already linked, else 0.  addr is rounded up to the
   pointer size and size shortened to match.  The region belongs to the pool
   for the rest of the process.  Not thread-safe: link before any use. */
QRVL_API int32_t sram_poollink(void *addr, uint32_t size);

/** sram_partial_poollink links count separate regions (two parallel arrays)
   (-1 for null arrays or a null region address, as sram_poollink)
   into one address-ordered pool; the gaps between them are bridged and never
   handed out.  Rewrites both arrays in place: each start rounded up to the
   pointer size, each size shortened by that pad, and (once past the checks)
   both sorted ascending by address.  Returns -1 when count is 0, a size is
   below three headers, an aligned start equals the one before it in the
   caller's order (a region at address 0 included), the sorted regions
   overlap, or they span more than 4 GiB - 1 from the lowest start to the
   highest end; -2 when a pool is already linked; else 0.  Not thread-safe. */
QRVL_API int32_t sram_partial_poollink(void **addrs, uint32_t *sizes, uint32_t count);

/** sram_is_init returns 1 once a pool is linked, else 0.
   Thread-safe once the pool is linked; linking is not. */
QRVL_API int32_t sram_is_init(void);

/** sram_malloc returns an uncleared block of at least size bytes from the
   pool, or NULL when size is 0, no pool is linked or no free block holds
   size (rounded up) plus one header.  Free it with sram_free.  Thread-safe.
   Ends the process (status -1) with a "[fatal error]" line on standard
   output when it meets a damaged block header. */
QRVL_API void *sram_malloc(uint32_t size);

/** sram_calloc returns a block of count * size bytes whose whole rounded
   payload is zero, or NULL like sram_malloc; a product that does not fit in
   32 bits is refused with NULL.  With count 0 it is sram_malloc(size) and
   the bytes are not cleared.  Thread-safe. */
QRVL_API void *sram_calloc(uint32_t count, uint32_t size);

/** sram_realloc resizes a block: NULL ptr is sram_malloc(size); size 0 frees
   ptr and returns NULL; a block already holding size bytes is returned
   unchanged (blocks never shrink); otherwise the bytes move to a new block,
   ptr is freed and the new block returned, or NULL is returned with ptr left
   untouched when the pool has no room.  A ptr outside the pool (any ptr
   while none is linked) prints "[warning] pointer access violence when
   sram_realloc() !!" and returns NULL.  Thread-safe, but not atomic as a
   whole. */
QRVL_API void *sram_realloc(void *ptr, uint32_t size);

/** sram_free returns a block to the pool and merges it with free
   neighbours; NULL is ignored.  A ptr outside the pool prints warning lines
   on standard output and changes nothing; a block freed twice or a damaged
   header ends the process (status -1) with a "[fatal error] ... Free_Alloc()"
   line.  Thread-safe. */
QRVL_API void sram_free(void *ptr);

/** sram_usage stores the pool's figures through the pointers that are not
   NULL: used_bytes gets the bytes counted as used (every header plus the
   payload of every used block), free_bytes the rest of the pool, third
   always 0.  Thread-safe. */
QRVL_API void sram_usage(uint32_t *free_bytes, uint32_t *used_bytes, uint32_t *third);
/** @} */

/* ---- Slot index and record database -------------------------------------- */

/** @name Slot index and record database */
/** @{ */

/** FastIdxCallback runs on a slot while that slot's lock is held: it gets the
   slot number and the caller's argument unchanged, and its result is passed
   back by the operation that called it.  The red-black tree uses it too. */
typedef int32_t (*FastIdxCallback)(uint32_t slot, void *argument);

/** FastIdxSlot is one entry of a slot index's caller-supplied array. */
typedef struct FastIdxSlot {
  uint32_t state; /**< 0 free, 1 in use, 2 in use with its release pending */
  uint32_t ring;  /**< the slot number stored at free-ring position k of entry k */
} FastIdxSlot;

/** FastIdx hands out the slot numbers 0 .. count-1 of a caller's table in
   constant time, from a free ring of count + 1 positions: first in ascending
   order, then in the order they were released. */
typedef struct FastIdx {
  FastIdxSlot *slots; /**< count entries, caller memory */
  Mutex *locks;       /**< count recursive slot locks, or NULL for none */
  uint32_t count;     /**< slots in slots (and locks) */
  uint32_t head;      /**< ring position of the next slot to hand out */
  uint32_t tail;      /**< ring position of the next released slot */
  uint32_t used;      /**< slots handed out and not yet released */
  uint32_t spare;     /**< ring position count */
  Mutex lock;         /**< plain; guards head, tail, used and the ring */
} FastIdx;

/** MemDb is a FastIdx over a caller's table of fixed-size records with a key
   field; it starts with its FastIdx, so the slot operations take it too. */
typedef struct MemDb {
  FastIdx index;        /**< slot states and free ring of the records */
  void *table;          /**< record i is at table + i * record_size */
  uint32_t record_size; /**< bytes of one record */
  uint32_t key_length;  /**< bytes of the key field */
  uint32_t key_offset;  /**< of the key field inside a record */
} MemDb;

/** fastIdx_init prepares x over count slots (all free) and, when locks is
   not NULL, makes every slot lock a recursive Mutex; 0, or -1 when count is
   0 or slots is NULL.  x, slots and locks stay caller memory.  Not
   thread-safe (nothing else may use x meanwhile). */
QRVL_API int32_t fastIdx_init(FastIdx *x, FastIdxSlot *slots, Mutex *locks, uint32_t count);
/** fastIdx_init2 is fastIdx_init, except that every slot starts in state 1
   (in use) while the free ring still holds every slot and used is 0.  The
   slots are then meant to be handed out with fastIdx_alloc as usual (which
   sets state 1 again); releasing a slot that is still in the free ring
   overfills the ring, which then looks empty, so callers should not.
   Not thread-safe. */
QRVL_API int32_t fastIdx_init2(FastIdx *x, FastIdxSlot *slots, Mutex *locks, uint32_t count);
/** fastIdx_alloc hands out one slot, sets it in use and runs callback (if
   any) under its lock.  Returns the slot number; -1 when no slot is free or
   when the callback set the slot's release pending (the slot is free
   again); a negative callback result otherwise (the slot stays in use).
   Thread-safe. */
QRVL_API int32_t fastIdx_alloc(FastIdx *x, void *argument, FastIdxCallback callback);
/** fastIdx_free releases slot: under its lock the state becomes 0 and then
   callback (if any) runs; the slot goes back to the free ring.  Returns the
   slot number, or -1 when it is out of range or already free.
   Thread-safe. */
QRVL_API int32_t fastIdx_free(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback callback);
/** fastIdx_route runs in_use (for a slot in use) or on_free (for a free
   slot) under the slot's lock and returns its result; without the matching
   callback 1 for a slot in use, 0 for a free one; 0 for slot >= count.  A
   release set pending by the callback is carried out before returning.
   Thread-safe. */
QRVL_API int32_t fastIdx_route(FastIdx *x, uint32_t slot, void *argument, FastIdxCallback in_use,
                               FastIdxCallback on_free);
/** fastIdx_route_delete marks an in-use slot for release at the end of the
   operation whose callback is running on it; it takes no lock, so call it
   only from such a callback.  Returns slot, or -1 when it is out of range
   or free. */
QRVL_API int32_t fastIdx_route_delete(FastIdx *x, uint32_t slot);
/** fastIdx_lock takes slot's lock (recursive) so that a caller can hold it
   across several steps; nothing happens for slot >= count or an index
   without slot locks.  Thread-safe. */
QRVL_API void fastIdx_lock(FastIdx *x, uint32_t slot);
/** fastIdx_unlock releases what fastIdx_lock took, under the same
   conditions.  Thread-safe. */
QRVL_API void fastIdx_unlock(FastIdx *x, uint32_t slot);
/** fastIdx_deinit releases the slot locks (if any) and x's own lock; only a
   new fastIdx_init makes x usable again.  Not thread-safe. */
QRVL_API void fastIdx_deinit(FastIdx *x);

/** memdb_init prepares d over count records of record_size bytes at table,
   whose key field of key_length bytes lies at key (inside record 0); all
   slots start free.  0, or -1 when d, key or table is NULL, key lies below
   table, the key field reaches past the end of the record, or count is 0
   or slots NULL.  Caller memory throughout.  Release
   with fastIdx_deinit on &d->index.  Not thread-safe. */
QRVL_API int32_t memdb_init(MemDb *d, void *table, Mutex *locks, FastIdxSlot *slots, uint32_t count,
                            uint32_t record_size, uint32_t key_length, const void *key);
/** memdb_insert copies record_size bytes of record into a free slot under
   the slot's lock and returns the slot number; -1 for a NULL record or a
   full table.  Duplicate keys are not checked.  Thread-safe. */
QRVL_API int32_t memdb_insert(MemDb *d, const void *record);
/** memdb_query finds the in-use record with the lowest slot number whose key
   field equals key and returns callback(slot, argument) under its lock, or
   1 without a callback.  -1 when it has visited as many in-use slots as
   were in use when it started without a match; -2 for a NULL key, or when
   it reached the end of the table first.  Thread-safe. */
QRVL_API int32_t memdb_query(MemDb *d, const void *key, void *argument, FastIdxCallback callback);
/** memdb_exist returns the slot number + 1 of the record memdb_query would
   find, or 0.  Thread-safe. */
QRVL_API int32_t memdb_exist(MemDb *d, const void *key);
/** memdb_erase releases the in-use record with the lowest slot number whose
   key field equals key, running callback (if any) under its lock after its
   state became 0; 0 when one was released, -1 when none matched, -2 for a
   NULL key.  Thread-safe. */
QRVL_API int32_t memdb_erase(MemDb *d, const void *key, void *argument, FastIdxCallback callback);
/** memdb_route is fastIdx_route with callback for an in-use slot and none
   for a free one.  Thread-safe. */
QRVL_API int32_t memdb_route(MemDb *d, uint32_t slot, void *argument, FastIdxCallback callback);
/** memdb_route_delete is fastIdx_route_delete (the same function).
   Call it only from a callback running on slot. */
QRVL_API int32_t memdb_route_delete(MemDb *d, uint32_t slot);
/** memdb_lock is fastIdx_lock (the same function).  Thread-safe. */
QRVL_API void memdb_lock(MemDb *d, uint32_t slot);
/** memdb_unlock is fastIdx_unlock (the same function).  Thread-safe. */
QRVL_API void memdb_unlock(MemDb *d, uint32_t slot);
/** @} */

/* ---- Pooled red-black tree ------------------------------------------------- */

/** @name Pooled red-black tree */
/** @{ */

/** RBTNode is the tree node of one slot; node i always belongs to slot i. */
typedef struct RBTNode {
  uint8_t colour;          /**< 1 black, 0 red */
  uint32_t slot;           /**< the slot this node belongs to */
  uint32_t key[4];         /**< MurmurHash3_x86_128 of the record's key field */
  struct RBTNode *left;    /**< smaller hashes */
  struct RBTNode *right;   /**< greater or equal hashes */
  struct RBTNode *parent;  /**< NULL at the root */
} RBTNode;

/** RBTreePool holds the four arrays of count entries a tree works in. */
typedef struct RBTreePool {
  void *table;        /**< count records */
  Mutex *locks;       /**< count record locks */
  RBTNode *nodes;     /**< count nodes */
  FastIdxSlot *slots; /**< count slot entries */
} RBTreePool;

/** RBTree indexes a caller's table of fixed-size records by the 128-bit
   MurmurHash3 (seed 20170713) of a key field: it hands out table slots
   through its FastIdx and links one node per slot, ordered by the four hash
   words compared as unsigned numbers, word 0 first. */
typedef struct RBTree {
  RBTNode *root;        /**< NULL while the tree is empty */
  RBTNode *nodes;       /**< count nodes, node i for slot i */
  Mutex lock;           /**< plain; guards root and every node link */
  FastIdx index;        /**< slot states, free ring, record locks */
  void *table;          /**< record i is at table + i * record_size */
  uint32_t record_size; /**< bytes of one record */
  uint32_t key_length;  /**< bytes of the key field */
  uint32_t key_offset;  /**< of the key field inside a record */
} RBTree;

/** RBIterator receives the slot numbers of one walk of a tree. */
typedef struct RBIterator {
  uint32_t *array;    /**< capacity slot numbers */
  uint8_t owned;      /**< 1 when rbiterator_malloc allocated array */
  uint32_t capacity;  /**< entries array holds */
  uint32_t count;     /**< entries of the last walk; rbiterator_next counts down */
} RBIterator;

/** rbtree_pool_malloc allocates the four arrays of pool for count records of
   record_size bytes; 0, or -1 (all four NULL) for a NULL pool, count or
   record_size 0, or when memory is short (each reported at level 3).
   Release with rbtree_pool_free after rbtree_deinit.
   One thread at a time per pool. */
QRVL_API int32_t rbtree_pool_malloc(RBTreePool *pool, uint32_t count, uint32_t record_size);
/** rbtree_pool_free frees the arrays of pool and sets them to NULL; 0, or -1
   for a NULL pool.  It releases no locks: rbtree_deinit comes first. */
QRVL_API int32_t rbtree_pool_free(RBTreePool *pool);

/** rbtree_init prepares tree over count records of record_size bytes at
   table, whose key field of key_length bytes lies at key (normally inside
   record 0); locks may be NULL (no record locks).  All arrays are caller
   memory (see RBTreePool).  0, or -1 with a level-3 report for a NULL key,
   table or nodes, a key below table, a key field reaching past the end of
   the record, or count 0 / slots NULL.  Not thread-safe. */
QRVL_API int32_t rbtree_init(RBTree *tree, void *table, Mutex *locks, RBTNode *nodes,
                             FastIdxSlot *slots, uint32_t count, uint32_t record_size,
                             uint32_t key_length, const void *key);
/** rbtree_deinit releases the record locks, the tree lock and the index's
   own lock.  Not thread-safe. */
QRVL_API void rbtree_deinit(RBTree *tree);
/** rbtree_insert copies record_size bytes of record into a free slot and
   links it under its key's hash, holding the slot's record lock.  Returns
   the slot number; -1 for a NULL tree or record, a key already present
   (both reported) or a full table (not reported).  Thread-safe. */
QRVL_API int32_t rbtree_insert(RBTree *tree, const void *record);
/** rbtree_exist returns the slot whose record holds key (checked under the
   record lock), or -1; a record whose key field changed or a slot already
   free is reported at level 2.  Thread-safe. */
QRVL_API int32_t rbtree_exist(RBTree *tree, const void *key);
/** rbtree_query without a callback returns the slot found by the hash of key
   alone, or -1.  With one it checks the record as rbtree_exist does and
   returns callback(slot, argument), run under the record lock, or -1.
   Thread-safe. */
QRVL_API int32_t rbtree_query(RBTree *tree, const void *key, void *argument,
                              FastIdxCallback callback);
/** rbtree_erase unlinks the node of key's hash and releases its slot,
   running callback (if any) under the record lock after the slot became
   free; the slot number, or -1 (reported at level 2) when the hash is not
   in the tree.  The record's key is not compared.  Thread-safe. */
QRVL_API int32_t rbtree_erase(RBTree *tree, const void *key, void *argument,
                              FastIdxCallback callback);
/** rbtree_delete is rbtree_erase by slot number: -1 for a number >= count,
   a free slot, or a slot whose node is not linked.  Thread-safe. */
QRVL_API int32_t rbtree_delete(RBTree *tree, uint32_t slot, void *argument,
                               FastIdxCallback callback);
/** rbtree_route returns callback(slot, argument) run under the record lock
   (1 without a callback) for a slot in use; -1 for a free slot (reported at
   level 2); 0 for a number >= count.  Thread-safe. */
QRVL_API int32_t rbtree_route(RBTree *tree, uint32_t slot, void *argument,
                              FastIdxCallback callback);
/** rbtree_count returns the number of slots handed out.  Thread-safe. */
QRVL_API uint32_t rbtree_count(RBTree *tree);
/** rbtree_poolsize returns the number of slots of tree.  Thread-safe. */
QRVL_API uint32_t rbtree_poolsize(RBTree *tree);

/** rbiterator_malloc gives it an array of capacity entries (count 0); 0, or
   -1 when it cannot be allocated.  Release with rbiterator_free.
   One thread at a time per iterator. */
QRVL_API int32_t rbiterator_malloc(RBIterator *it, uint32_t capacity);
/** rbiterator_melink lends the caller's array of capacity entries to it
   (count 0); 0, or -1 for a NULL array.  The array stays the caller's.
   One thread at a time per iterator. */
QRVL_API int32_t rbiterator_melink(RBIterator *it, uint32_t capacity, uint32_t *array);
/** rbiterator_free frees the array if rbiterator_malloc allocated it; 0.
   One thread at a time per iterator. */
QRVL_API int32_t rbiterator_free(RBIterator *it);
/** rbtree_iterator walks tree under its lock in pre-order (order 0),
   in-order (1, ascending hash) or post-order (2) and stores the slot
   numbers in it; other orders store nothing.  0, or -1 when the array ran
   full (reported at level 3 for every refused node, whose subtrees still
   unvisited are skipped): the array then holds the first capacity numbers
   of the order.  Entries past count are set to 0xFFFFFFFF.  Thread-safe. */
QRVL_API int32_t rbtree_iterator(RBTree *tree, RBIterator *it, int32_t order);
/** rbiterator_begin returns entry 0, or -1 when count is 0.
   One thread at a time per iterator. */
QRVL_API int32_t rbiterator_begin(RBIterator *it);
/** rbiterator_end returns -1, the value that ends a loop over an iterator.
   Thread-safe. */
QRVL_API int32_t rbiterator_end(void);
/** rbiterator_next lowers count to capacity if it is larger, then counts it
   down and returns the entry at capacity - count, or -1 when count
   reaches 0.  After a walk that filled the array (count == capacity) and
   rbiterator_begin it yields entries 1 .. capacity - 1 in order, then -1.
   After a walk that filled fewer entries it follows the same rule, so it
   reads from the end of the array, where unfilled entries give -1: read
   such a result by index, entries 0 .. count - 1, instead.
   One thread at a time per iterator. */
QRVL_API int32_t rbiterator_next(RBIterator *it);
/** @} */

/* ---- STD_Map and STD_List ---------------------------------------------------- */

/** @name STD_Map and STD_List */
/** @{ */

/** STD_Map is an unordered map of fixed-size keys to fixed-size values in
   caller arrays: bitmap (capacity / 8 + 1 bytes, slot i is bit 7 - i % 8 of
   byte i / 8), keys (capacity * key_size bytes), values (capacity *
   value_size bytes).  Lookups compare key bytes slot by slot.  Neither the
   map nor the list takes a lock: one thread at a time per record.
   Null pointers get the answer of an empty record, as the bit arrays and
   the slp ring give for a null buffer: -1 from the operations with a
   status, 0 from STD_Map_Exist and the sizes, NULL from the element
   pointers, 1 from STD_Map_Rend, and nothing done by the others.  A null
   key or element counts only where key_size or element_size is not 0.
   The Init functions ignore a null record and set up a record of
   capacity 0 over null arrays that would have to hold bytes. */
typedef struct STD_Map {
  uint32_t capacity;   /**< slots of the three arrays */
  uint32_t size;       /**< entries in use */
  uint32_t key_size;   /**< bytes of one key */
  uint32_t value_size; /**< bytes of one value */
  uint8_t *bitmap;     /**< one in-use bit per slot */
  uint8_t *keys;       /**< key i at keys + i * key_size */
  uint8_t *values;     /**< value i at values + i * value_size */
} STD_Map;

/** STD_MapCursor is the result of STD_Map_Find and the position of a walk. */
typedef struct STD_MapCursor {
  void *key;      /**< the slot's key in the keys array; NULL when none */
  void *value;    /**< the slot's value in the values array */
  uint32_t count; /**< 1 after a find; entries visited so far in a walk */
  uint32_t index; /**< slot number */
  uint8_t end;    /**< 1 once a walk has passed the last entry */
} STD_MapCursor;

/** STD_List is a double-ended ring of capacity fixed-size elements in a
   caller array; the elements sit at places front, front + 1, ..., back
   (modulo capacity), and front = back = 0 when it is empty. */
typedef struct STD_List {
  uint32_t capacity;     /**< elements the array holds */
  uint32_t size;         /**< elements in the list */
  uint32_t element_size; /**< bytes of one element */
  uint32_t front;        /**< place of the first element */
  uint32_t back;         /**< place of the last element */
  uint8_t *array;        /**< element k at array + k * element_size */
} STD_List;

/** STD_Map_Init sets map up over the caller's arrays, empty, and clears all
   of their bytes.  The arrays stay the caller's and must outlive the map.
   Takes no lock: one thread at a time per map. */
QRVL_API void STD_Map_Init(STD_Map *map, void *bitmap, void *keys, void *values,
                           uint32_t capacity, uint32_t key_size, uint32_t value_size);

/** STD_Map_Size returns the number of entries (the same function as
   STD_List_Size: both read the record's second field).
   Takes no lock: one thread at a time per map. */
QRVL_API uint32_t STD_Map_Size(const STD_Map *map);

/** STD_Map_Exist returns 1 if an entry holds key (key_size bytes), else 0;
   a key size of 0 never matches.
   Takes no lock: one thread at a time per map. */
QRVL_API int32_t STD_Map_Exist(const STD_Map *map, const void *key);

/** STD_Map_Find clears cursor, then returns 0 and points it at the
   lowest-numbered entry holding key (count 1), or returns -1.
   Takes no lock: one thread at a time per map. */
QRVL_API int32_t STD_Map_Find(const STD_Map *map, const void *key, STD_MapCursor *cursor);

/** STD_Map_Insert copies key and value into the lowest free slot and returns
   0; returns -1 when the key is present or the map is full.
   Takes no lock: one thread at a time per map. */
QRVL_API int32_t STD_Map_Insert(STD_Map *map, const void *key, const void *value);

/** STD_Map_Erase frees the cursor's slot if it holds an entry; its key and
   value bytes stay.  Takes no lock: one thread at a time per map. */
QRVL_API void STD_Map_Erase(STD_Map *map, const STD_MapCursor *cursor);

/** STD_Map_Clear empties map: clears the bitmap and only the first key and
   the first value of the arrays.
   Takes no lock: one thread at a time per map. */
QRVL_API void STD_Map_Clear(STD_Map *map);

/** STD_Map_Rbegin clears cursor and, unless the map is empty, points it at
   the lowest-numbered entry (count 1).  Walk with STD_Map_Rnext until
   STD_Map_Rend; entries come in ascending slot order.
   Takes no lock: one thread at a time per map. */
QRVL_API void STD_Map_Rbegin(const STD_Map *map, STD_MapCursor *cursor);

/** STD_Map_Rnext moves cursor to the next entry above its slot (count + 1),
   or sets its end flag: at a free slot once count has reached the size, or
   past the last slot.  Erasing the current entry during a walk lowers the
   size, so the walk may then end early.
   Takes no lock: one thread at a time per map. */
QRVL_API void STD_Map_Rnext(const STD_Map *map, STD_MapCursor *cursor);

/** STD_Map_Rend returns 1 when the map is empty or the cursor's walk has
   ended, else 0.  Takes no lock: one thread at a time per map. */
QRVL_API int32_t STD_Map_Rend(const STD_Map *map, const STD_MapCursor *cursor);

/** STD_List_Init sets list up, empty, over array (capacity * element_size
   bytes, all cleared).  The array stays the caller's.
   Takes no lock: one thread at a time per list. */
QRVL_API void STD_List_Init(STD_List *list, void *array, uint32_t capacity,
                            uint32_t element_size);

/** STD_List_Size returns the number of elements (one function with
   STD_Map_Size).  Takes no lock: one thread at a time per list. */
QRVL_API uint32_t STD_List_Size(const STD_List *list);

/** STD_List_Front returns the first element in the array, or NULL if the
   list is empty.  Takes no lock: one thread at a time per list. */
QRVL_API void *STD_List_Front(const STD_List *list);

/** STD_List_Back returns the last element in the array, or NULL if the list
   is empty.  Takes no lock: one thread at a time per list. */
QRVL_API void *STD_List_Back(const STD_List *list);

/** STD_List_Push_Front copies element (element_size bytes) in front of the
   first element; 0, or -1 when the list is full.
   Takes no lock: one thread at a time per list. */
QRVL_API int32_t STD_List_Push_Front(STD_List *list, const void *element);

/** STD_List_Push_Back copies element behind the last element; 0, or -1 when
   the list is full.  Takes no lock: one thread at a time per list. */
QRVL_API int32_t STD_List_Push_Back(STD_List *list, const void *element);

/** STD_List_Pop_Front drops the first element (read it with STD_List_Front
   first); an empty list is left alone.
   Takes no lock: one thread at a time per list. */
QRVL_API void STD_List_Pop_Front(STD_List *list);

/** STD_List_Pop_Back drops the last element; an empty list is left alone.
   Takes no lock: one thread at a time per list. */
QRVL_API void STD_List_Pop_Back(STD_List *list);

/** STD_List_Begin returns the n-th element from the front, n taken modulo
   the size, or NULL if the list is empty.
   Takes no lock: one thread at a time per list. */
QRVL_API void *STD_List_Begin(const STD_List *list, uint32_t n);

/** STD_List_Reverse returns the n-th element from the back, n taken modulo
   the size, or NULL if the list is empty.
   Takes no lock: one thread at a time per list. */
QRVL_API void *STD_List_Reverse(const STD_List *list, uint32_t n);

/** STD_List_Clear empties list; the array bytes are left as they are.
   Takes no lock: one thread at a time per list. */
QRVL_API void STD_List_Clear(STD_List *list);
/** @} */

/* ---- slp string ring, Cclass object pool and bit arrays --------------------- */

/** @name slp string ring, Cclass object pool and bit arrays
   Bit arrays number their bits most significant first: bit n is bit
   7 - n % 8 of byte n / 8.  A NULL byte array makes every call do nothing.
   None of these, nor Cclass or Slp, takes a lock. */
/** @{ */

/** SetBit sets bit n of bytes to 1 if value is not 0, else to 0.
   Takes no lock: one thread at a time per array. */
QRVL_API void SetBit(uint8_t *bytes, uint32_t n, uint8_t value);

/** SetBitsByStr writes text onto the bits from first on, one bit per
   character: '0' clears a bit, any other character sets it.  A NULL text
   changes nothing.
   Takes no lock: one thread at a time per array. */
QRVL_API void SetBitsByStr(uint8_t *bytes, uint32_t first, const char *text);

/** GetBit returns bit n of bytes (0 or 1); 0 for a NULL array.
   Takes no lock: one thread at a time per array. */
QRVL_API uint8_t GetBit(const uint8_t *bytes, uint32_t n);

/** GetBitsIntoStr writes the n bits from first on as '0'/'1' characters and
   a zero byte into text, which needs n + 1 bytes (nothing for NULL text).
   Takes no lock: one thread at a time per array. */
QRVL_API void GetBitsIntoStr(const uint8_t *bytes, uint32_t first, uint32_t n, char *text);

/** Cclass is a pool of count objects of object_size bytes in caller arrays,
   with one in-use flag (1 or 0) per object.
   A null pool gives NULL from Cclass_new and is ignored by Cclass_delete;
   Cclass_pool over null arrays that would have to hold bytes sets up a
   pool of no objects. */
typedef struct Cclass {
  uint8_t *flags;       /**< count in-use flags */
  uint8_t *objects;     /**< count objects, object i at objects + i * object_size */
  uint32_t object_size; /**< bytes of one object */
  uint32_t count;       /**< objects in the pool */
} Cclass;

/** Cclass_pool sets pool up over flags (count bytes) and objects (count *
   object_size bytes), all free, and clears both arrays.
   Takes no lock: one thread at a time per pool. */
QRVL_API void Cclass_pool(Cclass *pool, uint8_t *flags, void *objects, uint32_t count,
                          uint32_t object_size);

/** Cclass_new marks the lowest free object in use and returns it (bytes not
   cleared); with none free prints "warning: no memory space !" on standard
   output and returns NULL.  Takes no lock: one thread at a time per pool. */
QRVL_API void *Cclass_new(Cclass *pool);

/** Cclass_delete frees object.  An address that is not the start of one of
   the pool's objects prints "warning: delete an invalid C-class pointer !",
   a free object "warning: delete an expire C-class pointer !" (standard
   output), and the pool stays unchanged.  With object_size 0 every object
   has the same address and the lowest one in use is freed.
   Takes no lock: one thread at a time per pool. */
QRVL_API void Cclass_delete(Cclass *pool, void *object);

/** Slp, the string link pool, is a ring of capacity bytes (plus one byte
   behind it that stays 0) to which texts are appended; when it runs full it
   drops the oldest whole lines.  The kept text is slp_getstr_p1 followed by
   slp_getstr_p2; slp_readstr reads the ring incrementally. */
typedef struct Slp {
  char *base;       /**< the ring */
  char *oldest;     /**< first byte of the oldest kept line */
  char *write;      /**< just past the kept text's ending zero byte */
  char *read;       /**< next byte for slp_readstr */
  uint32_t capacity; /**< bytes of the ring */
  uint8_t overflow; /**< 1 when unread text was dropped */
  uint8_t lent;     /**< 1 when the ring memory is the caller's */
} Slp;

/** slp_malloc sets slp up on a newly allocated ring of count * size bytes;
   0, or -1 when the product is 0, does not fit in 32 bits, or malloc
   fails.  Release the ring with slp_mefree.
   Takes no lock: one thread at a time per ring. */
QRVL_API int32_t slp_malloc(Slp *slp, uint32_t count, uint32_t size);

/** slp_melink sets slp up in the caller's buffer (capacity size - 1); 0, or
   -1 when buffer is NULL or size is below 2.  The buffer stays the caller's
   and must outlive the ring.  Takes no lock: one thread at a time per ring. */
QRVL_API int32_t slp_melink(Slp *slp, void *buffer, uint32_t size);

/** slp_mefree frees a ring made by slp_malloc and returns 0; -1 for a lent
   ring (nothing is freed).  The record's fields are left as they are.
   Takes no lock: one thread at a time per ring. */
QRVL_API int32_t slp_mefree(Slp *slp);

/** slp_putstr appends text; consecutive texts join into one.  When the ring
   runs full, the oldest bytes go and then the rest of the oldest line, so
   that the kept text starts at a whole line (or is empty); unread bytes
   dropped this way set the overflow flag and move the reader along.  A
   reader that had read everything gets the new text from its first byte.
   An empty or NULL text changes nothing.
   Takes no lock: one thread at a time per ring. */
QRVL_API void slp_putstr(Slp *slp, const char *text);

/** slp_readstr copies up to max unread bytes (including the text's ending
   zero byte when it gets there) into buffer, which needs max + 1 bytes and
   is always zero-terminated, and returns how many it copied (0 when nothing
   is unread or max is 0); -1 for a NULL buffer.  It stores the overflow
   flag through overflow (if not NULL) and clears it.
   Takes no lock: one thread at a time per ring. */
QRVL_API int32_t slp_readstr(Slp *slp, char *buffer, uint32_t max, uint8_t *overflow);

/** slp_getstr_p1 returns the first piece of the kept text (zero-terminated,
   inside the ring).  On 32-bit targets it is the same function as
   STD_Map_Size and STD_List_Size.
   Takes no lock: one thread at a time per ring. */
QRVL_API const char *slp_getstr_p1(const Slp *slp);

/** slp_getstr_p2 returns the second piece of the kept text: the start of the
   ring when the text wraps round its end, else an empty string.
   Takes no lock: one thread at a time per ring. */
QRVL_API const char *slp_getstr_p2(const Slp *slp);
/** @} */

QRVL_END_DECLS

#endif /* QUORVEL_MEMORY_H */
