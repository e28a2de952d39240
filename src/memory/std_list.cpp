// STD_List: double-ended ring of fixed-size elements in a caller array.
// Also home of the shared size accessor: STD_Map and STD_List (and, where
// pointers are 32 bits wide, Slp) keep their second field at offset 4, so
// one function serves all of them under their own names.
#include <cstddef>
#include <cstring>

#include "memory/bytes.hpp"
#include "quorvel/memory.h"

namespace {

using quorvel::detail::copy_bytes;
using quorvel::detail::zero_bytes;

uint8_t *place(const STD_List *list, uint32_t p) {
  return list->array + static_cast<size_t>(p) * list->element_size;
}

uint32_t step_back(const STD_List *list, uint32_t p) {
  return p == 0 ? list->capacity - 1 : p - 1;
}

}  // namespace

extern "C" uint32_t STD_List_Size(const STD_List *list) {
  return list->size;
}

// The alias has another parameter type on purpose: both records keep the
// size at the same offset (checked below).
#if defined(__clang__)
#pragma clang diagnostic push
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#endif
extern "C" uint32_t STD_Map_Size(const STD_Map *map) QRVL_ALIAS(STD_List_Size);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(Slp, oldest) == offsetof(STD_List, size));
extern "C" const char *slp_getstr_p1(const Slp *slp) QRVL_ALIAS(STD_List_Size);
#endif
#if defined(__clang__)
#pragma clang diagnostic pop
#else
#pragma GCC diagnostic pop
#endif

static_assert(offsetof(STD_Map, size) == offsetof(STD_List, size));

extern "C" void STD_List_Init(STD_List *list, void *array, uint32_t capacity,
                              uint32_t element_size) {
  list->capacity = capacity;
  list->size = 0;
  list->element_size = element_size;
  list->front = 0;
  list->back = 0;
  list->array = static_cast<uint8_t *>(array);
  zero_bytes(list->array, static_cast<size_t>(capacity) * element_size);
}

extern "C" void *STD_List_Front(const STD_List *list) {
  if (list->size == 0 || list->front >= list->capacity) return nullptr;
  return place(list, list->front);
}

extern "C" void *STD_List_Back(const STD_List *list) {
  if (list->size == 0 || list->back >= list->capacity) return nullptr;
  return place(list, list->back);
}

extern "C" int32_t STD_List_Push_Front(STD_List *list, const void *element) {
  if (list->size >= list->capacity) return -1;
  if (list->size != 0) list->front = step_back(list, list->front);
  copy_bytes(place(list, list->front), element, list->element_size);
  ++list->size;
  return 0;
}

extern "C" int32_t STD_List_Push_Back(STD_List *list, const void *element) {
  if (list->size >= list->capacity) return -1;
  if (list->size != 0)
    list->back = static_cast<uint32_t>((uint64_t{list->back} + 1) % list->capacity);
  copy_bytes(place(list, list->back), element, list->element_size);
  ++list->size;
  return 0;
}

extern "C" void STD_List_Pop_Front(STD_List *list) {
  if (list->size == 0) return;
  if (list->size == 1) {
    STD_List_Clear(list);
    return;
  }
  --list->size;
  list->front = static_cast<uint32_t>((uint64_t{list->front} + 1) % list->capacity);
}

extern "C" void STD_List_Pop_Back(STD_List *list) {
  if (list->size == 0) return;
  if (list->size == 1) {
    STD_List_Clear(list);
    return;
  }
  --list->size;
  list->back = step_back(list, list->back);
}

extern "C" void *STD_List_Begin(const STD_List *list, uint32_t n) {
  if (list->size == 0) return nullptr;
  const uint64_t p = (uint64_t{n % list->size} + list->front) % list->capacity;
  return place(list, static_cast<uint32_t>(p));
}

extern "C" void *STD_List_Reverse(const STD_List *list, uint32_t n) {
  if (list->size == 0) return nullptr;
  const uint32_t m = n % list->size;
  const uint32_t p = list->back >= m ? list->back - m : list->back + (list->capacity - m);
  return place(list, p);
}

extern "C" void STD_List_Clear(STD_List *list) {
  list->size = 0;
  list->front = 0;
  list->back = 0;
}
