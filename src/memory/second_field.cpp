// The reader of the second field that STD_List, STD_Map and Slp share.
// All three records keep it at offset 4 where pointers are 32 bits wide
// (a u32 size, or the Slp's oldest-line pointer), so one function serves
// them under their own names; where pointers are wider the Slp field moves
// to offset 8 and slp_getstr_p1 becomes a function of its own.
#include <cstddef>
#include <cstdint>

#include "quorvel/memory.h"

extern "C" uint32_t STD_List_Size(const STD_List *list) {
  return list == nullptr ? 0 : list->size;
}

static_assert(offsetof(STD_Map, size) == offsetof(STD_List, size));

// The aliases have other parameter types on purpose: the records keep the
// field at the same offset (checked here).
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

#if UINTPTR_MAX != 0xFFFFFFFFu
extern "C" const char *slp_getstr_p1(const Slp *slp) {
  return slp->oldest;
}
#endif
