/*
 * Memory pools and indexed containers in caller memory.
 */
#ifndef QUORVEL_MEMORY_H
#define QUORVEL_MEMORY_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

QRVL_END_DECLS

#endif /* QUORVEL_MEMORY_H */
