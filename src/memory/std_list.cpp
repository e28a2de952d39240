// STD_List: double-ended ring of fixed-size elements in a caller array.
// Its size accessor, shared with STD_Map and Slp, is in second_field.cpp.
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

bool pushable(const STD_List *list, const void *element) {
  if (list == nullptr || (element == nullptr && list->element_size != 0)) return false;
  return list->size < list->capacity;
}

}  // namespace

extern "C" void STD_List_Init(STD_List *list, void *array, uint32_t capacity,
                              uint32_t element_size) {
  if (list == nullptr) return;
  if (array == nullptr && element_size != 0) capacity = 0;  // no room: a list of no places
  list->capacity = capacity;
  list->size = 0;
  list->element_size = element_size;
  list->front = 0;
  list->back = 0;
  list->array = static_cast<uint8_t *>(array);
  zero_bytes(list->array, static_cast<size_t>(capacity) * element_size);
}

extern "C" void *STD_List_Front(const STD_List *list) {
  if (list == nullptr || list->size == 0 || list->front >= list->capacity) return nullptr;
  return place(list, list->front);
}

extern "C" void *STD_List_Back(const STD_List *list) {
  if (list == nullptr || list->size == 0 || list->back >= list->capacity) return nullptr;
  return place(list, list->back);
}

extern "C" int32_t STD_List_Push_Front(STD_List *list, const void *element) {
  if (!pushable(list, element)) return -1;
  if (list->size != 0) list->front = step_back(list, list->front);
  copy_bytes(place(list, list->front), element, list->element_size);
  ++list->size;
  return 0;
}

extern "C" int32_t STD_List_Push_Back(STD_List *list, const void *element) {
  if (!pushable(list, element)) return -1;
  if (list->size != 0)
    list->back = static_cast<uint32_t>((uint64_t{list->back} + 1) % list->capacity);
  copy_bytes(place(list, list->back), element, list->element_size);
  ++list->size;
  return 0;
}

extern "C" void STD_List_Pop_Front(STD_List *list) {
  if (list == nullptr || list->size == 0) return;
  if (list->size == 1) {
    STD_List_Clear(list);
    return;
  }
  --list->size;
  list->front = static_cast<uint32_t>((uint64_t{list->front} + 1) % list->capacity);
}

extern "C" void STD_List_Pop_Back(STD_List *list) {
  if (list == nullptr || list->size == 0) return;
  if (list->size == 1) {
    STD_List_Clear(list);
    return;
  }
  --list->size;
  list->back = step_back(list, list->back);
}

extern "C" void *STD_List_Begin(const STD_List *list, uint32_t n) {
  if (list == nullptr || list->size == 0) return nullptr;
  const uint64_t p = (uint64_t{n % list->size} + list->front) % list->capacity;
  return place(list, static_cast<uint32_t>(p));
}

extern "C" void *STD_List_Reverse(const STD_List *list, uint32_t n) {
  if (list == nullptr || list->size == 0) return nullptr;
  const uint32_t m = n % list->size;
  const uint32_t p = list->back >= m ? list->back - m : list->back + (list->capacity - m);
  return place(list, p);
}

extern "C" void STD_List_Clear(STD_List *list) {
  if (list == nullptr) return;
  list->size = 0;
  list->front = 0;
  list->back = 0;
}
