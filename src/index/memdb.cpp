// Record database: a slot index over a caller's table of fixed-size records,
// with insertion by copy and lookup and removal by a linear key scan that
// holds one slot lock at a time.
#include <cstring>

#include "index/fastidx.hpp"

using namespace quorvel::detail;

namespace {

struct InsertJob {
  MemDb *db;
  const void *record;
};

int32_t copy_record(uint32_t slot, void *argument) {
  const InsertJob *job = static_cast<const InsertJob *>(argument);
  std::memcpy(static_cast<uint8_t *>(job->db->table) + static_cast<size_t>(slot) * job->db->record_size,
              job->record, job->db->record_size);
  return static_cast<int32_t>(slot);
}

inline bool key_matches(const MemDb *d, uint32_t slot, const void *key) {
  const uint8_t *record =
      static_cast<const uint8_t *>(d->table) + static_cast<size_t>(slot) * d->record_size;
  return std::memcmp(record + d->key_offset, key, d->key_length) == 0;
}

int32_t slot_number(uint32_t slot, void *) { return static_cast<int32_t>(slot); }

}  // namespace

extern "C" {

// A key field that reaches past the end of a record is refused as well:
// comparing it would read the next record, or beyond the table.
int32_t memdb_init(MemDb *d, void *table, Mutex *locks, FastIdxSlot *slots, uint32_t count,
                   uint32_t record_size, uint32_t key_length, const void *key) {
  if (!d || !key || !table) return -1;
  const uintptr_t base = reinterpret_cast<uintptr_t>(table);
  const uintptr_t field = reinterpret_cast<uintptr_t>(key);
  if (field < base) return -1;
  const uintptr_t offset = field - base;
  if (offset > record_size || key_length > record_size - offset) return -1;
  if (fastIdx_init(&d->index, slots, locks, count) != 0) return -1;
  d->table = table;
  d->record_size = record_size;
  d->key_length = key_length;
  d->key_offset = static_cast<uint32_t>(offset);
  return 0;
}

int32_t memdb_insert(MemDb *d, const void *record) {
  if (!d || !record) return -1;
  InsertJob job{d, record};
  return fastIdx_alloc(&d->index, &job, copy_record);
}

int32_t memdb_query(MemDb *d, const void *key, void *argument, FastIdxCallback callback) {
  if (!d || !key) return -2;
  FastIdx *x = &d->index;
  MutexLock(&x->lock);
  const uint32_t in_use_at_start = x->used;
  MutexUnlock(&x->lock);
  if (x->count == 0) return -2;

  uint32_t visited = 0;
  for (uint32_t slot = 0; slot < x->count; ++slot) {
    bool matched = false;
    int32_t result = 0;
    slot_lock(x, slot);
    if (slot_state(x, slot) != 0) {
      ++visited;
      if (key_matches(d, slot, key)) {
        matched = true;
        result = callback ? callback(slot, argument) : 1;
      }
    }
    unlock_releasing_pending(x, slot);
    if (matched) return result;
    if (visited >= in_use_at_start) return -1;
  }
  return -2;
}

int32_t memdb_exist(MemDb *d, const void *key) {
  const int32_t slot = memdb_query(d, key, nullptr, slot_number);
  return slot >= 0 ? slot + 1 : 0;
}

// The matching slot is released while the lock under which its key was
// compared is still held, so a record inserted into the same slot by
// another thread in between can never be released by mistake.
int32_t memdb_erase(MemDb *d, const void *key, void *argument, FastIdxCallback callback) {
  if (!d || !key) return -2;
  FastIdx *x = &d->index;
  if (x->count == 0) return -1;
  for (uint32_t slot = 0; slot < x->count; ++slot) {
    slot_lock(x, slot);
    if (slot_state(x, slot) != 0 && key_matches(d, slot, key)) {
      set_slot_state(x, slot, 0);
      if (callback) callback(slot, argument);
      slot_unlock(x, slot);
      ring_push(x, slot);
      return 0;
    }
    unlock_releasing_pending(x, slot);
  }
  return -1;
}

int32_t memdb_route(MemDb *d, uint32_t slot, void *argument, FastIdxCallback callback) {
  return fastIdx_route(d ? &d->index : nullptr, slot, argument, callback, nullptr);
}

}  // extern "C"
