/** @file
 * Opaque storage for the operating-system objects that live inside quorvel's
 * caller-allocated records (Mutex, Semaphore, Cond).  Callers never look
 * inside; the sizes are fixed per target so that records can be placed in
 * static, stack or heap memory without any allocation by the library.
 */
#ifndef QUORVEL_PLATFORM_TYPES_H
#define QUORVEL_PLATFORM_TYPES_H

#include <stdint.h>

/** QRVL_STORAGE_ALIGN keeps the storage 8-byte aligned on every target, also
   where uint64_t alone would be aligned to 4 (32-bit x86), since the objects
   use 64-bit atomics. */
#if defined(__GNUC__)
#  define QRVL_STORAGE_ALIGN __attribute__((aligned(8)))
#else
#  define QRVL_STORAGE_ALIGN
#endif

/** qrvl_semaphore_storage holds a counting semaphore with a maximum. */
typedef struct qrvl_semaphore_storage {
  uint64_t opaque[2];
} QRVL_STORAGE_ALIGN qrvl_semaphore_storage;

/** qrvl_recursive_lock_storage holds a lock that its holder may take again
   (recursive mutex). */
typedef struct qrvl_recursive_lock_storage {
  uint64_t opaque[8];
} QRVL_STORAGE_ALIGN qrvl_recursive_lock_storage;

/** qrvl_event_pair_storage holds two events, each auto- or manual-reset, that
   can be waited on together. */
typedef struct qrvl_event_pair_storage {
  uint64_t opaque[2];
} QRVL_STORAGE_ALIGN qrvl_event_pair_storage;

#endif /* QUORVEL_PLATFORM_TYPES_H */
