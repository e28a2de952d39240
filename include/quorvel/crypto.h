/*
 * Cryptography, hashing and encodings.
 */
#ifndef QUORVEL_CRYPTO_H
#define QUORVEL_CRYPTO_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

QRVL_END_DECLS

#endif /* QUORVEL_CRYPTO_H */
