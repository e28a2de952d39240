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

/* QRVL_MD5_CTX is the caller-allocated state of one MD5 computation
   (88 bytes, no pointers).  buffer holds the (count[0] / 8) mod 64 message
   bytes not yet compressed. */
typedef struct QRVL_MD5_CTX {
  uint32_t state[4]; /* chaining values A, B, C, D */
  uint32_t count[2]; /* message bits so far, modulo 2^64, low word first */
  uint8_t buffer[64];
} QRVL_MD5_CTX;

/* QRVL_MD5Init starts a new MD5 computation in ctx: it sets the chaining
   values and zeroes the bit count (buffer is left as it is).  ctx is the
   caller's; one thread at a time per context. */
QRVL_API void QRVL_MD5Init(QRVL_MD5_CTX *ctx);
/* QRVL_MD5Update absorbs len bytes of input into ctx; a message may be fed
   in any number of pieces of any length.  Pointers are not checked.  One
   thread at a time per context. */
QRVL_API void QRVL_MD5Update(QRVL_MD5_CTX *ctx, const uint8_t *input, uint32_t len);
/* QRVL_MD5Final pads the message, writes its 16-byte digest to digest and
   clears every byte of ctx, which needs QRVL_MD5Init before it is used
   again.  Note the order: digest first, context second. */
QRVL_API void QRVL_MD5Final(uint8_t *digest, QRVL_MD5_CTX *ctx);

/* GetCrc32 steps the running value crc over len bytes of data and returns
   the new running value.  mode 0: CRC-32 register most significant bit
   first (polynomial 0x04C11DB7, no reflection); mode 1: reflected CRC-32 of
   IEEE 802.3 (table of 0xEDB88320); mode 2: sum of the bytes modulo 2^32.
   Any other mode, and len 0, return crc unchanged without reading data.
   No initial value and no final xor are applied: the IEEE 802.3 CRC-32 of
   a message is GetCrc32(1, 0xFFFFFFFF, ...) ^ 0xFFFFFFFF, and a buffer may
   be processed in pieces by feeding each result into the next call.
   Stateless and thread-safe. */
QRVL_API uint32_t GetCrc32(int32_t mode, uint32_t crc, const uint8_t *data, uint32_t len);

/* MurmurHash3_x86_32 writes the 32-bit MurmurHash3 of the len bytes at key
   with the given seed to out (one native u32; out need not be aligned).
   len must be 0 or more: a negative len is hashed as the empty key and
   nothing is read.  Not a cryptographic hash.  Stateless and thread-safe. */
QRVL_API void MurmurHash3_x86_32(const void *key, int32_t len, uint32_t seed, void *out);
/* MurmurHash3_x86_128 writes the 128-bit MurmurHash3 (32-bit lanes) of the
   len bytes at key to out as four native u32 h1, h2, h3, h4.  A negative
   len is hashed as the empty key.  Stateless and thread-safe. */
QRVL_API void MurmurHash3_x86_128(const void *key, int32_t len, uint32_t seed, void *out);
/* MurmurHash3_x64_128 writes the 128-bit MurmurHash3 (64-bit lanes) of the
   len bytes at key to out as two native u64 h1, h2; both lanes start from
   seed widened with zero high bits.  A negative len is hashed as the empty
   key.  Stateless and thread-safe. */
QRVL_API void MurmurHash3_x64_128(const void *key, int32_t len, uint32_t seed, void *out);

/* ---- Base64 and hex -------------------------------------------------------- */

/* ToBase64Simple writes the Base64 text (alphabet A-Z a-z 0-9 + /, '='
   padding, no line breaks) of the in_len bytes at in to out, followed by a
   NUL, and returns the number of characters, 4 * ceil(in_len / 3).
   out_size must be at least that plus 1.  Returns 0 for a null pointer
   (nothing written), for in_len of 0 or less (an empty string is written
   when out_size is at least 1), and when out_size is too small; in that
   last case the whole 4-character groups that fitted have been written and
   must not be used.  Stateless and thread-safe. */
QRVL_API int32_t ToBase64Simple(const uint8_t *in, int32_t in_len, char *out, int32_t out_size);
/* FromBase64Simple decodes the Base64 text of in_len characters at in into
   out, writes a NUL after the bytes and returns their number.  Groups of
   four characters are decoded from the start; decoding stops after the
   group holding a '=' in its third or fourth place (the rest of the input
   is ignored) or at the end of the input.  The input is not validated:
   characters outside the alphabet decode as 0.  out_size must be at least
   the decoded length plus 1 (3 * in_len / 4 + 1 always suffices).
   Returns 0, with nothing written, for a null pointer, in_len or out_size
   of 0 or less; returns 0 when the result and its NUL do not fit (no byte
   is written at or past out[out_size], earlier groups may have been
   written).  An in_len that is not a multiple of 4 leaves a last group cut
   short: when decoding reaches it (no '=' has ended it before), the call
   returns 0 rather than guess the missing characters or read past in_len.
   Stateless and thread-safe. */
QRVL_API int32_t FromBase64Simple(const char *in, int32_t in_len, uint8_t *out, int32_t out_size);
/* mmData2HexString writes the len bytes at data to out as 2 * len
   lower-case hex digits followed by a NUL and returns 2 * len.  Returns 0
   with nothing written for a null pointer, for len of 0 or less, or when
   out_size is below 2 * len + 1.  Stateless and thread-safe. */
QRVL_API int32_t mmData2HexString(const uint8_t *data, int32_t len, char *out, int32_t out_size);
/* mmHexString2Data reads the len characters at hex as pairs of hex digits
   (either case) and writes one byte per pair to out; with an odd len the
   last byte takes the last digit as its high half (a b c gives 0xab 0xc0).
   Returns the number of bytes written, ceil(len / 2), without a
   terminator.  Returns 0 with nothing written for a null pointer, for len
   of 0 or less, or when out_size is below ceil(len / 2).  Every character
   that is not a hex digit (letters G-Z and g-z included) counts as 0 and is
   reported through errlog_t with tag "quorvel" as
   "mmHexString2Data() occur an illegal character (0x..)", once per
   character, the second of a pair before the first; decoding goes on.
   Thread-safe. */
QRVL_API int32_t mmHexString2Data(const char *hex, int32_t len, uint8_t *out, int32_t out_size);

QRVL_END_DECLS

#endif /* QUORVEL_CRYPTO_H */
