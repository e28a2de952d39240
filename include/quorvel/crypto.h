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

/* ---- AES ------------------------------------------------------------------ */

/* @@AES@@ */

/* ---- SHA-224, SHA-256 and HMAC ------------------------------------------ */

/* @@SHA2@@ */

/* ---- MD5, CRC-32 and MurmurHash3 ---------------------------------------- */

/* @@MD5-CRC-MURMUR@@ */

/* ---- Base64 and hex -------------------------------------------------------- */

/* @@BASE64-HEX@@ */

QRVL_END_DECLS

#endif /* QUORVEL_CRYPTO_H */
