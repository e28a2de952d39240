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

/* @@MEMDB@@ */

/* ---- Pooled red-black tree ------------------------------------------------- */

/* @@RBTREE@@ */

/* ---- STD_Map and STD_List ---------------------------------------------------- */

/* @@STD-MAP-LIST@@ */

/* ---- slp string ring, Cclass object pool and bit arrays --------------------- */

/* @@SLP-CCLASS-BITS@@ */

QRVL_END_DECLS

#endif /* QUORVEL_MEMORY_H */
