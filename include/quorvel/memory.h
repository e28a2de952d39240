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

/* The sram pool is one process-wide first-fit heap carved from memory the
   caller lends once.  Every block carries a header of two 32-bit words and
   one address (16 bytes on 64-bit targets, 12 on 32-bit); request sizes and
   region starts are rounded to the pointer size, so payloads are aligned
   like pointers.  The pool never falls back to malloc. */

/* sram_poollink links the one region [addr, addr + size) as the pool.
   Returns -1 when size is below three block headers (48 bytes on 64-bit)
   or addr is NULL, -2 when a pool is already linked, else 0.  addr is rounded up to the
   pointer size and size shortened to match.  The region belongs to the pool
   for the rest of the process.  Not thread-safe: link before any use. */
QRVL_API int32_t sram_poollink(void *addr, uint32_t size);

/* sram_partial_poollink links count separate regions (two parallel arrays)
   into one address-ordered pool; the gaps between them are bridged and never
   handed out.  Rewrites both arrays in place: each start rounded up to the
   pointer size, each size shortened by that pad, and (once past the checks)
   both sorted ascending by address.  Returns -1 when count is 0, a size is
   below three headers, an aligned start equals the one before it in the
   caller's order (a region at address 0 included), the sorted regions
   overlap, or they span more than 4 GiB - 1 from the lowest start to the
   highest end; -2 when a pool is already linked; else 0.  Not thread-safe. */
QRVL_API int32_t sram_partial_poollink(void **addrs, uint32_t *sizes, uint32_t count);

/* sram_is_init returns 1 once a pool is linked, else 0. */
QRVL_API int32_t sram_is_init(void);

/* sram_malloc returns an uncleared block of at least size bytes from the
   pool, or NULL when size is 0, no pool is linked or no free block holds
   size (rounded up) plus one header.  Free it with sram_free.  Thread-safe.
   Ends the process (status -1) with a "[fatal error]" line on standard
   output when it meets a damaged block header. */
QRVL_API void *sram_malloc(uint32_t size);

/* sram_calloc returns a block of count * size bytes whose whole rounded
   payload is zero, or NULL like sram_malloc; a product that does not fit in
   32 bits is refused with NULL.  With count 0 it is sram_malloc(size) and
   the bytes are not cleared.  Thread-safe. */
QRVL_API void *sram_calloc(uint32_t count, uint32_t size);

/* sram_realloc resizes a block: NULL ptr is sram_malloc(size); size 0 frees
   ptr and returns NULL; a block already holding size bytes is returned
   unchanged (blocks never shrink); otherwise the bytes move to a new block,
   ptr is freed and the new block returned, or NULL is returned with ptr left
   untouched when the pool has no room.  A ptr outside the pool (any ptr
   while none is linked) prints "[warning] pointer access violence when
   sram_realloc() !!" and returns NULL.  Thread-safe, but not atomic as a
   whole. */
QRVL_API void *sram_realloc(void *ptr, uint32_t size);

/* sram_free returns a block to the pool and merges it with free
   neighbours; NULL is ignored.  A ptr outside the pool prints warning lines
   on standard output and changes nothing; a block freed twice or a damaged
   header ends the process (status -1) with a "[fatal error] ... Free_Alloc()"
   line.  Thread-safe. */
QRVL_API void sram_free(void *ptr);

/* sram_usage stores the pool's figures through the pointers that are not
   NULL: used_bytes gets the bytes counted as used (every header plus the
   payload of every used block), free_bytes the rest of the pool, third
   always 0.  Thread-safe. */
QRVL_API void sram_usage(uint32_t *free_bytes, uint32_t *used_bytes, uint32_t *third);

/* ---- Slot index and record database -------------------------------------- */

/* @@MEMDB@@ */

/* ---- Pooled red-black tree ------------------------------------------------- */

/* @@RBTREE@@ */

/* ---- STD_Map and STD_List ---------------------------------------------------- */

/* STD_Map is an unordered map of fixed-size keys to fixed-size values in
   caller arrays: bitmap (capacity / 8 + 1 bytes, slot i is bit 7 - i % 8 of
   byte i / 8), keys (capacity * key_size bytes), values (capacity *
   value_size bytes).  Lookups compare key bytes slot by slot.  Neither the
   map nor the list takes a lock: one thread at a time per record. */
typedef struct STD_Map {
  uint32_t capacity;
  uint32_t size;
  uint32_t key_size;
  uint32_t value_size;
  uint8_t *bitmap;
  uint8_t *keys;
  uint8_t *values;
} STD_Map;

/* STD_MapCursor is the result of STD_Map_Find and the position of a walk. */
typedef struct STD_MapCursor {
  void *key;      /* the slot's key in the keys array; NULL when none */
  void *value;    /* the slot's value in the values array */
  uint32_t count; /* 1 after a find; entries visited so far in a walk */
  uint32_t index; /* slot number */
  uint8_t end;    /* 1 once a walk has passed the last entry */
} STD_MapCursor;

/* STD_List is a double-ended ring of capacity fixed-size elements in a
   caller array; the elements sit at places front, front + 1, ..., back
   (modulo capacity), and front = back = 0 when it is empty. */
typedef struct STD_List {
  uint32_t capacity;
  uint32_t size;
  uint32_t element_size;
  uint32_t front;
  uint32_t back;
  uint8_t *array;
} STD_List;

/* STD_Map_Init sets map up over the caller's arrays, empty, and clears all
   of their bytes.  The arrays stay the caller's and must outlive the map. */
QRVL_API void STD_Map_Init(STD_Map *map, void *bitmap, void *keys, void *values,
                           uint32_t capacity, uint32_t key_size, uint32_t value_size);

/* STD_Map_Size returns the number of entries (the same function as
   STD_List_Size: both read the record's second field). */
QRVL_API uint32_t STD_Map_Size(const STD_Map *map);

/* STD_Map_Exist returns 1 if an entry holds key (key_size bytes), else 0;
   a key size of 0 never matches. */
QRVL_API int32_t STD_Map_Exist(const STD_Map *map, const void *key);

/* STD_Map_Find clears cursor, then returns 0 and points it at the
   lowest-numbered entry holding key (count 1), or returns -1. */
QRVL_API int32_t STD_Map_Find(const STD_Map *map, const void *key, STD_MapCursor *cursor);

/* STD_Map_Insert copies key and value into the lowest free slot and returns
   0; returns -1 when the key is present or the map is full. */
QRVL_API int32_t STD_Map_Insert(STD_Map *map, const void *key, const void *value);

/* STD_Map_Erase frees the cursor's slot if it holds an entry; its key and
   value bytes stay. */
QRVL_API void STD_Map_Erase(STD_Map *map, const STD_MapCursor *cursor);

/* STD_Map_Clear empties map: clears the bitmap and only the first key and
   the first value of the arrays. */
QRVL_API void STD_Map_Clear(STD_Map *map);

/* STD_Map_Rbegin clears cursor and, unless the map is empty, points it at
   the lowest-numbered entry (count 1).  Walk with STD_Map_Rnext until
   STD_Map_Rend; entries come in ascending slot order. */
QRVL_API void STD_Map_Rbegin(const STD_Map *map, STD_MapCursor *cursor);

/* STD_Map_Rnext moves cursor to the next entry above its slot (count + 1),
   or sets its end flag: at a free slot once count has reached the size, or
   past the last slot.  Erasing the current entry during a walk lowers the
   size, so the walk may then end early. */
QRVL_API void STD_Map_Rnext(const STD_Map *map, STD_MapCursor *cursor);

/* STD_Map_Rend returns 1 when the map is empty or the cursor's walk has
   ended, else 0. */
QRVL_API int32_t STD_Map_Rend(const STD_Map *map, const STD_MapCursor *cursor);

/* STD_List_Init sets list up, empty, over array (capacity * element_size
   bytes, all cleared).  The array stays the caller's. */
QRVL_API void STD_List_Init(STD_List *list, void *array, uint32_t capacity,
                            uint32_t element_size);

/* STD_List_Size returns the number of elements (one function with
   STD_Map_Size). */
QRVL_API uint32_t STD_List_Size(const STD_List *list);

/* STD_List_Front returns the first element in the array, or NULL if the
   list is empty. */
QRVL_API void *STD_List_Front(const STD_List *list);

/* STD_List_Back returns the last element in the array, or NULL if the list
   is empty. */
QRVL_API void *STD_List_Back(const STD_List *list);

/* STD_List_Push_Front copies element (element_size bytes) in front of the
   first element; 0, or -1 when the list is full. */
QRVL_API int32_t STD_List_Push_Front(STD_List *list, const void *element);

/* STD_List_Push_Back copies element behind the last element; 0, or -1 when
   the list is full. */
QRVL_API int32_t STD_List_Push_Back(STD_List *list, const void *element);

/* STD_List_Pop_Front drops the first element (read it with STD_List_Front
   first); an empty list is left alone. */
QRVL_API void STD_List_Pop_Front(STD_List *list);

/* STD_List_Pop_Back drops the last element; an empty list is left alone. */
QRVL_API void STD_List_Pop_Back(STD_List *list);

/* STD_List_Begin returns the n-th element from the front, n taken modulo
   the size, or NULL if the list is empty. */
QRVL_API void *STD_List_Begin(const STD_List *list, uint32_t n);

/* STD_List_Reverse returns the n-th element from the back, n taken modulo
   the size, or NULL if the list is empty. */
QRVL_API void *STD_List_Reverse(const STD_List *list, uint32_t n);

/* STD_List_Clear empties list; the array bytes are left as they are. */
QRVL_API void STD_List_Clear(STD_List *list);

/* ---- slp string ring, Cclass object pool and bit arrays --------------------- */

/* Bit arrays number their bits most significant first: bit n is bit
   7 - n % 8 of byte n / 8.  A NULL byte array makes every call do nothing.
   None of these, nor Cclass or Slp, takes a lock. */

/* SetBit sets bit n of bytes to 1 if value is not 0, else to 0. */
QRVL_API void SetBit(uint8_t *bytes, uint32_t n, uint8_t value);

/* SetBitsByStr writes text onto the bits from first on, one bit per
   character: '0' clears a bit, any other character sets it. */
QRVL_API void SetBitsByStr(uint8_t *bytes, uint32_t first, const char *text);

/* GetBit returns bit n of bytes (0 or 1); 0 for a NULL array. */
QRVL_API uint8_t GetBit(const uint8_t *bytes, uint32_t n);

/* GetBitsIntoStr writes the n bits from first on as '0'/'1' characters and
   a zero byte into text, which needs n + 1 bytes (nothing for NULL text). */
QRVL_API void GetBitsIntoStr(const uint8_t *bytes, uint32_t first, uint32_t n, char *text);

/* Cclass is a pool of count objects of object_size bytes in caller arrays,
   with one in-use flag (1 or 0) per object. */
typedef struct Cclass {
  uint8_t *flags;
  uint8_t *objects;
  uint32_t object_size;
  uint32_t count;
} Cclass;

/* Cclass_pool sets pool up over flags (count bytes) and objects (count *
   object_size bytes), all free, and clears both arrays. */
QRVL_API void Cclass_pool(Cclass *pool, uint8_t *flags, void *objects, uint32_t count,
                          uint32_t object_size);

/* Cclass_new marks the lowest free object in use and returns it (bytes not
   cleared); with none free prints "warning: no memory space !" on standard
   output and returns NULL. */
QRVL_API void *Cclass_new(Cclass *pool);

/* Cclass_delete frees object.  An address that is not the start of one of
   the pool's objects prints "warning: delete an invalid C-class pointer !",
   a free object "warning: delete an expire C-class pointer !" (standard
   output), and the pool stays unchanged.  With object_size 0 every object
   has the same address and the lowest one in use is freed. */
QRVL_API void Cclass_delete(Cclass *pool, void *object);

/* Slp, the string link pool, is a ring of capacity bytes (plus one byte
   behind it that stays 0) to which texts are appended; when it runs full it
   drops the oldest whole lines.  The kept text is slp_getstr_p1 followed by
   slp_getstr_p2; slp_readstr reads the ring incrementally. */
typedef struct Slp {
  char *base;       /* the ring */
  char *oldest;     /* first byte of the oldest kept line */
  char *write;      /* just past the kept text's ending zero byte */
  char *read;       /* next byte for slp_readstr */
  uint32_t capacity;
  uint8_t overflow; /* 1 when unread text was dropped */
  uint8_t lent;     /* 1 when the ring memory is the caller's */
} Slp;

/* slp_malloc sets slp up on a newly allocated ring of count * size bytes;
   0, or -1 when the product is 0, does not fit in 32 bits, or malloc
   fails.  Release the ring with slp_mefree. */
QRVL_API int32_t slp_malloc(Slp *slp, uint32_t count, uint32_t size);

/* slp_melink sets slp up in the caller's buffer (capacity size - 1); 0, or
   -1 when buffer is NULL or size is below 2.  The buffer stays the caller's
   and must outlive the ring. */
QRVL_API int32_t slp_melink(Slp *slp, void *buffer, uint32_t size);

/* slp_mefree frees a ring made by slp_malloc and returns 0; -1 for a lent
   ring (nothing is freed).  The record's fields are left as they are. */
QRVL_API int32_t slp_mefree(Slp *slp);

/* slp_putstr appends text; consecutive texts join into one.  When the ring
   runs full, the oldest bytes go and then the rest of the oldest line, so
   that the kept text starts at a whole line (or is empty); unread bytes
   dropped this way set the overflow flag and move the reader along.  A
   reader that had read everything gets the new text from its first byte.
   An empty text changes nothing. */
QRVL_API void slp_putstr(Slp *slp, const char *text);

/* slp_readstr copies up to max unread bytes (including the text's ending
   zero byte when it gets there) into buffer, which needs max + 1 bytes and
   is always zero-terminated, and returns how many it copied (0 when nothing
   is unread or max is 0); -1 for a NULL buffer.  It stores the overflow
   flag through overflow (if not NULL) and clears it. */
QRVL_API int32_t slp_readstr(Slp *slp, char *buffer, uint32_t max, uint8_t *overflow);

/* slp_getstr_p1 returns the first piece of the kept text (zero-terminated,
   inside the ring).  On 32-bit targets it is the same function as
   STD_Map_Size and STD_List_Size. */
QRVL_API const char *slp_getstr_p1(const Slp *slp);

/* slp_getstr_p2 returns the second piece of the kept text: the start of the
   ring when the text wraps round its end, else an empty string. */
QRVL_API const char *slp_getstr_p2(const Slp *slp);

QRVL_END_DECLS

#endif /* QUORVEL_MEMORY_H */
