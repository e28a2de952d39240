// Cclass: fixed-size objects handed out from caller arrays, one in-use flag
// per object.  Misuse is reported on standard output and otherwise ignored.
#include <cstdio>
#include <cstring>

#include "common/console_line.hpp"
#include "memory/bytes.hpp"
#include "quorvel/memory.h"

namespace {

using quorvel::detail::zero_bytes;

constexpr const char kNoSpace[] = "warning: no memory space !\r\n";
constexpr const char kInvalid[] = "warning: delete an invalid C-class pointer !\r\n";
constexpr const char kExpired[] = "warning: delete an expire C-class pointer !\r\n";

using quorvel::detail::print_console_line;

}  // namespace

extern "C" void Cclass_pool(Cclass *pool, uint8_t *flags, void *objects, uint32_t count,
                            uint32_t object_size) {
  if (pool == nullptr) return;
  if (flags == nullptr || (objects == nullptr && object_size != 0)) count = 0;
  pool->flags = flags;
  pool->objects = static_cast<uint8_t *>(objects);
  pool->object_size = object_size;
  pool->count = count;
  zero_bytes(pool->objects, static_cast<size_t>(count) * object_size);
  zero_bytes(pool->flags, count);
}

extern "C" void *Cclass_new(Cclass *pool) {
  if (pool == nullptr) return nullptr;
  for (uint32_t i = 0; i < pool->count; ++i) {
    if (pool->flags[i] != 0) continue;
    pool->flags[i] = 1;
    return pool->objects + static_cast<size_t>(i) * pool->object_size;
  }
  print_console_line(kNoSpace);
  return nullptr;
}

extern "C" void Cclass_delete(Cclass *pool, void *object) {
  if (pool == nullptr) return;
  const auto start = reinterpret_cast<uintptr_t>(pool->objects);
  const auto at = reinterpret_cast<uintptr_t>(object);
  if (pool->count == 0 || at < start) {
    print_console_line(kInvalid);
    return;
  }
  const uintptr_t offset = at - start;
  uint32_t index = 0;
  if (pool->object_size == 0) {
    if (offset != 0) {
      print_console_line(kInvalid);
      return;
    }
    // Every object shares one address; free the lowest one in use.
    while (index < pool->count - 1 && pool->flags[index] == 0) ++index;
  } else {
    if (offset % pool->object_size != 0 || offset / pool->object_size >= pool->count) {
      print_console_line(kInvalid);
      return;
    }
    index = static_cast<uint32_t>(offset / pool->object_size);
  }
  if (pool->flags[index] == 0) {
    print_console_line(kExpired);
    return;
  }
  pool->flags[index] = 0;
}
