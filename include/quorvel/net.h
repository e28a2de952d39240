/*
 * Networking: address text and masks, interface queries, resolution and sockets.
 */
#ifndef QUORVEL_NET_H
#define QUORVEL_NET_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

QRVL_END_DECLS

#endif /* QUORVEL_NET_H */
