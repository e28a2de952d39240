// STD_Map: fixed-capacity map over caller arrays, occupancy bitmap plus
// linear scan.  STD_Map_Size lives with STD_List_Size (one function).
#include <cstring>

#include "memory/bits.hpp"
#include "memory/bytes.hpp"
#include "quorvel/memory.h"

namespace {

using quorvel::detail::bit_get;
using quorvel::detail::bit_put;
using quorvel::detail::copy_bytes;
using quorvel::detail::zero_bytes;

uint32_t bitmap_bytes(uint32_t capacity) {
  return capacity / 8 + 1;
}

uint8_t *key_at(const STD_Map *map, uint32_t slot) {
  return map->keys + static_cast<size_t>(slot) * map->key_size;
}

uint8_t *value_at(const STD_Map *map, uint32_t slot) {
  return map->values + static_cast<size_t>(slot) * map->value_size;
}

// The slot holding key, or capacity when none does.  The scan gives up once
// it has compared as many occupied slots as the map holds.
uint32_t scan(const STD_Map *map, const void *key) {
  if (map->key_size == 0) return map->capacity;
  uint32_t visited = 0;
  for (uint32_t slot = 0; slot < map->capacity && visited < map->size; ++slot) {
    if (!bit_get(map->bitmap, slot)) continue;
    if (std::memcmp(key_at(map, slot), key, map->key_size) == 0) return slot;
    ++visited;
  }
  return map->capacity;
}

void point_at(const STD_Map *map, STD_MapCursor *cursor, uint32_t slot) {
  cursor->key = key_at(map, slot);
  cursor->value = value_at(map, slot);
  cursor->index = slot;
}

// A null map, or a null key where keys have bytes, finds nothing.
bool usable(const STD_Map *map, const void *key) {
  return map != nullptr && (key != nullptr || map->key_size == 0);
}

}  // namespace

extern "C" void STD_Map_Init(STD_Map *map, void *bitmap, void *keys, void *values,
                             uint32_t capacity, uint32_t key_size, uint32_t value_size) {
  if (map == nullptr) return;
  // Arrays that cannot hold what the sizes promise give a map of no slots.
  if (bitmap == nullptr || (keys == nullptr && key_size != 0) ||
      (values == nullptr && value_size != 0))
    capacity = 0;
  map->capacity = capacity;
  map->size = 0;
  map->key_size = key_size;
  map->value_size = value_size;
  map->bitmap = static_cast<uint8_t *>(bitmap);
  map->keys = static_cast<uint8_t *>(keys);
  map->values = static_cast<uint8_t *>(values);
  zero_bytes(map->keys, static_cast<size_t>(capacity) * key_size);
  zero_bytes(map->values, static_cast<size_t>(capacity) * value_size);
  if (bitmap != nullptr) std::memset(map->bitmap, 0, bitmap_bytes(capacity));
}

extern "C" int32_t STD_Map_Exist(const STD_Map *map, const void *key) {
  if (!usable(map, key)) return 0;
  return scan(map, key) < map->capacity ? 1 : 0;
}

extern "C" int32_t STD_Map_Find(const STD_Map *map, const void *key, STD_MapCursor *cursor) {
  if (cursor == nullptr) return -1;
  std::memset(cursor, 0, sizeof *cursor);
  if (!usable(map, key)) return -1;
  const uint32_t slot = scan(map, key);
  if (slot >= map->capacity) return -1;
  point_at(map, cursor, slot);
  cursor->count = 1;
  return 0;
}

extern "C" int32_t STD_Map_Insert(STD_Map *map, const void *key, const void *value) {
  if (!usable(map, key) || (value == nullptr && map->value_size != 0)) return -1;
  if (scan(map, key) < map->capacity) return -1;
  if (map->size >= map->capacity) return -1;
  for (uint32_t slot = 0; slot < map->capacity; ++slot) {
    if (bit_get(map->bitmap, slot)) continue;
    copy_bytes(key_at(map, slot), key, map->key_size);
    copy_bytes(value_at(map, slot), value, map->value_size);
    bit_put(map->bitmap, slot, true);
    ++map->size;
    return 0;
  }
  return -1;  // a bitmap that disagrees with size: refuse rather than overwrite
}

extern "C" void STD_Map_Erase(STD_Map *map, const STD_MapCursor *cursor) {
  if (map == nullptr || cursor == nullptr || cursor->index >= map->capacity || !bit_get(map->bitmap, cursor->index)) return;
  bit_put(map->bitmap, cursor->index, false);
  --map->size;
}

extern "C" void STD_Map_Clear(STD_Map *map) {
  if (map == nullptr) return;
  map->size = 0;
  if (map->bitmap == nullptr) return;  // set up without arrays: nothing to clear
  std::memset(map->bitmap, 0, bitmap_bytes(map->capacity));
  // A map of capacity 0 may sit on empty arrays: there is no first key.
  if (map->capacity == 0) return;
  zero_bytes(map->keys, map->key_size);
  zero_bytes(map->values, map->value_size);
}

extern "C" void STD_Map_Rbegin(const STD_Map *map, STD_MapCursor *cursor) {
  if (cursor == nullptr) return;
  std::memset(cursor, 0, sizeof *cursor);
  if (map == nullptr || map->size == 0) return;
  for (uint32_t slot = 0; slot < map->capacity; ++slot) {
    if (!bit_get(map->bitmap, slot)) continue;
    point_at(map, cursor, slot);
    cursor->count = 1;
    return;
  }
  cursor->end = 1;
}

extern "C" void STD_Map_Rnext(const STD_Map *map, STD_MapCursor *cursor) {
  if (cursor == nullptr) return;
  if (map == nullptr) {
    cursor->end = 1;
    return;
  }
  for (uint64_t slot = uint64_t{cursor->index} + 1; slot < map->capacity; ++slot) {
    if (bit_get(map->bitmap, static_cast<uint32_t>(slot))) {
      point_at(map, cursor, static_cast<uint32_t>(slot));
      ++cursor->count;
      return;
    }
    if (cursor->count >= map->size) break;
  }
  cursor->end = 1;
}

extern "C" int32_t STD_Map_Rend(const STD_Map *map, const STD_MapCursor *cursor) {
  return (map == nullptr || cursor == nullptr || map->size == 0 || cursor->end) ? 1 : 0;
}
