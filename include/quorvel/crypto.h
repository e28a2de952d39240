/** @file
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

/** @name AES
   The library runs AES on the processor's AES instructions where it has
   them (AES-NI, and VAES on 256- or 512-bit registers), chosen once per
   process; those engines have no secret-dependent branches or memory
   accesses.  Elsewhere it uses its portable engine, which is NOT
   constant-time: it works through look-up tables indexed by key and data
   bytes, so its memory accesses (and with them its timing through the
   caches) depend on secret values.  On such processors do not use it where
   an attacker can run code on the same machine or time many operations
   closely.  The results are the same bytes whichever engine runs. */
/** @{ */

/** CAES_schedule is one expanded AES key for one direction.  Each word holds
   four key-schedule bytes, the first of them in the most significant byte.
   An encryption schedule holds the round keys in order; a decryption
   schedule holds them in reverse order of rounds, with InvMixColumns applied
   to all but the first and the last (the equivalent inverse cipher).  44,
   52 or 60 words are used for 10, 12 or 14 rounds.  No pointers: a bytewise
   copy is a complete copy. */
typedef struct CAES_schedule {
  uint32_t round_keys[60]; /**< the schedule words, 4 * (rounds + 1) used */
  int32_t rounds; /**< 10, 12 or 14 */
} CAES_schedule;

/** CAesKeyPair holds both schedules of one key, as filled by CAesKeyInit. */
typedef struct CAesKeyPair {
  CAES_schedule encrypt_schedule; /**< CAesEncrypt, CAesCbcEncrypt */
  CAES_schedule decrypt_schedule; /**< CAesDecrypt, CAesCbcDecrypt */
} CAesKeyPair;

/** CAES_set_encrypt_key expands the bits / 8 bytes of key (bits 128, 192 or
   256) into an encryption schedule.  Returns 0; -1 when key or schedule is
   NULL; -2 when bits is another value.  Nothing is written on a negative
   result.  Thread-safe on distinct schedules. */
QRVL_API int32_t CAES_set_encrypt_key(const uint8_t *key, int32_t bits,
                                      CAES_schedule *schedule);

/** CAES_set_decrypt_key expands key into a decryption schedule (the key
   schedule of the equivalent inverse cipher).  Returns the codes of
   CAES_set_encrypt_key; nothing is written on a negative result.
   Thread-safe on distinct schedules. */
QRVL_API int32_t CAES_set_decrypt_key(const uint8_t *key, int32_t bits,
                                      CAES_schedule *schedule);

/** CAES_encrypt encrypts the 16-byte block in into out with an encryption
   schedule.  All of in is read before out is written, so in may equal out.
   A schedule whose rounds is not 10, 12 or 14 (never filled) gives 16 zero
   bytes and is not read further.  Thread-safe: the schedule is only read. */
QRVL_API void CAES_encrypt(const uint8_t *in, uint8_t *out,
                           const CAES_schedule *schedule);

/** CAES_decrypt decrypts the 16-byte block in into out with a decryption
   schedule; in may equal out.  A schedule whose rounds is not 10, 12 or 14
   gives 16 zero bytes.  Thread-safe: the schedule is only read. */
QRVL_API void CAES_decrypt(const uint8_t *in, uint8_t *out,
                           const CAES_schedule *schedule);

/** CAesKeyInit fills both schedules of keys from a key of any length.
   key_bits 128, 192 or 256 selects the AES key size; any other value
   means 128.  A key longer than the AES key is cut to it; a shorter one is
   repeated from its first byte until the AES key is full (5 bytes k0..k4
   for 128 bits give k0..k4 k0..k4 k0..k4 k0).  Returns 0; -1 (nothing
   written) when key or keys is NULL or key_len is 0, as an empty key has
   nothing to repeat.  Not safe while another thread uses the same pair. */
QRVL_API int32_t CAesKeyInit(const uint8_t *key, uint32_t key_len,
                             uint32_t key_bits, CAesKeyPair *keys);

/** CAesEncrypt encrypts in_len bytes in ECB mode with PKCS #7 padding (1 to
   16 pad bytes, each holding the pad length) into out.  Returns the bytes
   written, (in_len / 16 + 1) * 16; returns 0 and writes nothing when
   in_len is 0, out_size is below that total, the total exceeds the 32-bit
   range, or in, out or keys is NULL (or keys was never filled).  The input
   is only read; in may equal out when that buffer holds the total.
   Thread-safe on a shared pair. */
QRVL_API uint32_t CAesEncrypt(const uint8_t *in, uint32_t in_len, uint8_t *out,
                              uint32_t out_size, const CAesKeyPair *keys);

/** CAesDecrypt decrypts the whole 16-byte blocks of in (bytes past the last
   whole block are ignored) into out in ECB mode, in place when in equals
   out.  With whole the decrypted length and v the last decrypted byte, it
   returns whole - v when v is below whole, else 0; the padding is neither
   checked nor removed from out, and a wrong key is not detected.  0 is
   also the length of an empty message (one block of sixteen 0x10).
   Returns 0 and writes nothing when in_len is below 16, out_size is below
   whole, or in, out or keys is NULL (or keys was never filled).
   Thread-safe on a shared pair. */
QRVL_API uint32_t CAesDecrypt(const uint8_t *in, uint32_t in_len, uint8_t *out,
                              uint32_t out_size, const CAesKeyPair *keys);

/** CAesCbcEncrypt encrypts in_len bytes in CBC mode with PKCS #7 padding.
   The working IV is the first 16 bytes of iv, or iv repeated from its first
   byte to 16 bytes when iv_len is shorter; iv is only read and each call
   starts from it.  The pad is written into the caller's input: in must be
   writable and hold the total, (in_len / 16 + 1) * 16 bytes, and keeps the
   pad bytes afterwards.  Returns the total written to out; returns 0 and
   writes nothing when in_len is 0, out_size is below the total, the total
   exceeds the 32-bit range, iv_len is 0, or in, iv, out or keys is NULL
   (or keys was never filled).  in may equal out.  Thread-safe on a shared
   pair. */
QRVL_API uint32_t CAesCbcEncrypt(uint8_t *in, uint32_t in_len, const uint8_t *iv,
                                 uint32_t iv_len, uint8_t *out, uint32_t out_size,
                                 const CAesKeyPair *keys);

/** CAesCbcDecrypt decrypts the whole 16-byte blocks of in in CBC mode with
   the working IV made as in CAesCbcEncrypt; in may equal out (in place).
   Returns the plain length by the rule of CAesDecrypt (whole - last byte,
   or 0).  Returns 0 and writes nothing when in_len is below 16, out_size is
   below whole, iv_len is 0, or in, iv, out or keys is NULL (or keys was
   never filled).  Thread-safe on a shared pair. */
QRVL_API uint32_t CAesCbcDecrypt(const uint8_t *in, uint32_t in_len,
                                 const uint8_t *iv, uint32_t iv_len, uint8_t *out,
                                 uint32_t out_size, const CAesKeyPair *keys);
/** @} */

/* ---- SHA-224, SHA-256 and HMAC ------------------------------------------ */

/** @name SHA-224, SHA-256 and HMAC */
/** @{ */

/** csha256_ctx is the streaming context of SHA-256 and SHA-224 (168 bytes,
   no pointers: a bytewise copy is an independent copy of the hash).  The
   byte count is 32 bits wide, so for messages of 2^29 bytes or more the
   length in the padding wraps and the digest is not the standard one. */
typedef struct csha256_ctx {
  uint32_t hashed_len;  /**< bytes already compressed, a multiple of 64 */
  uint32_t pending_len; /**< bytes waiting in buffer, 0 to 63 */
  uint8_t buffer[128];  /**< pending bytes; the final padding may use two blocks */
  uint32_t state[8];    /**< working hash value H0..H7 */
} csha256_ctx;

/** hmac_csha256_ctx is the context of HMAC-SHA-256 and HMAC-SHA-224; the
   variant is chosen by the init that keyed it.  No pointers. */
typedef struct hmac_csha256_ctx {
  csha256_ctx inner;       /**< (K0 xor ipad) then the message */
  csha256_ctx outer;       /**< (K0 xor opad) then the inner digest */
  csha256_ctx inner_saved; /**< inner right after keying, for reinit */
  csha256_ctx outer_saved; /**< outer right after keying, for reinit */
  uint8_t ipad_block[64];  /**< K0 xor 0x36 */
  uint8_t opad_block[64];  /**< K0 xor 0x5c */
} hmac_csha256_ctx;

/** csha256_init starts a SHA-256 computation in ctx (buffer untouched).
   None of the hash functions checks its pointers or returns a status; a
   context must not be used by two threads at once, distinct contexts may. */
QRVL_API void csha256_init(csha256_ctx *ctx);

/** csha224_init starts a SHA-224 computation in ctx.
   One thread at a time per context. */
QRVL_API void csha224_init(csha256_ctx *ctx);

/** csha256_update absorbs len bytes of message into ctx; whole blocks are
   hashed straight from the caller's memory.  message may be NULL when len
   is 0. */
QRVL_API void csha256_update(csha256_ctx *ctx, const uint8_t *message, uint32_t len);

/** csha224_update is csha256_update under a second name.
   One thread at a time per context. */
QRVL_API void csha224_update(csha256_ctx *ctx, const uint8_t *message, uint32_t len);

/** csha256_final closes the message and writes the 32-byte SHA-256 digest.
   The context is used up: init it again for another message.
   One thread at a time per context. */
QRVL_API void csha256_final(csha256_ctx *ctx, uint8_t *digest);

/** csha224_final closes the message and writes the 28-byte SHA-224 digest;
   the bytes after them are left alone.  One thread at a time per context. */
QRVL_API void csha224_final(csha256_ctx *ctx, uint8_t *digest);

/** csha256 writes the 32-byte SHA-256 digest of len bytes of message, on a
   context of its own stack.  Thread-safe. */
QRVL_API void csha256(const uint8_t *message, uint32_t len, uint8_t *digest);

/** csha224 writes the 28-byte SHA-224 digest of len bytes of message.
   Thread-safe. */
QRVL_API void csha224(const uint8_t *message, uint32_t len, uint8_t *digest);

/** hmac_csha256_init keys ctx for HMAC-SHA-256 with key_size bytes of key (a
   key over 64 bytes is replaced by its SHA-256 digest; key may be NULL
   when key_size is 0).  Finish it with hmac_csha256_final.
   One thread at a time per context. */
QRVL_API void hmac_csha256_init(hmac_csha256_ctx *ctx, const uint8_t *key, uint32_t key_size);

/** hmac_csha224_init keys ctx for HMAC-SHA-224 (a key over 64 bytes is
   replaced by its SHA-224 digest).  Finish it with hmac_csha224_final.
   One thread at a time per context. */
QRVL_API void hmac_csha224_init(hmac_csha256_ctx *ctx, const uint8_t *key, uint32_t key_size);

/** hmac_csha256_reinit returns ctx to its state right after keying, ready
   for another message with the same key; it may be repeated any number of
   times.  One thread at a time per context. */
QRVL_API void hmac_csha256_reinit(hmac_csha256_ctx *ctx);

/** hmac_csha224_reinit is hmac_csha256_reinit under a second name.
   One thread at a time per context. */
QRVL_API void hmac_csha224_reinit(hmac_csha256_ctx *ctx);

/** hmac_csha256_update absorbs len bytes of message into the MAC.
   One thread at a time per context. */
QRVL_API void hmac_csha256_update(hmac_csha256_ctx *ctx, const uint8_t *message, uint32_t len);

/** hmac_csha224_update is hmac_csha256_update under a second name.
   One thread at a time per context. */
QRVL_API void hmac_csha224_update(hmac_csha256_ctx *ctx, const uint8_t *message, uint32_t len);

/** hmac_csha256_final writes the first mac_size bytes of the 32-byte MAC
   (a shorter mac_size gives the truncated MAC; a larger one is clamped to
   32, so nothing past the MAC is written).  The context is used up until
   reinit or init.  One thread at a time per context. */
QRVL_API void hmac_csha256_final(hmac_csha256_ctx *ctx, uint8_t *mac, uint32_t mac_size);

/** hmac_csha224_final writes the first mac_size bytes of the 28-byte MAC
   (mac_size clamped to 28).  One thread at a time per context. */
QRVL_API void hmac_csha224_final(hmac_csha256_ctx *ctx, uint8_t *mac, uint32_t mac_size);

/** hmac_csha256 writes the first mac_size bytes (at most 32) of the
   HMAC-SHA-256 of message under key, on a context of its own stack.
   Thread-safe. */
QRVL_API void hmac_csha256(const uint8_t *key, uint32_t key_size, const uint8_t *message,
                           uint32_t message_len, uint8_t *mac, uint32_t mac_size);

/** hmac_csha224 writes the first mac_size bytes (at most 28) of the
   HMAC-SHA-224 of message under key.  Thread-safe. */
QRVL_API void hmac_csha224(const uint8_t *key, uint32_t key_size, const uint8_t *message,
                           uint32_t message_len, uint8_t *mac, uint32_t mac_size);
/** @} */

/* ---- MD5, CRC-32 and MurmurHash3 ---------------------------------------- */

/** @name MD5, CRC-32 and MurmurHash3 */
/** @{ */

/** QRVL_MD5_CTX is the caller-allocated state of one MD5 computation
   (88 bytes, no pointers).  buffer holds the (count[0] / 8) mod 64 message
   bytes not yet compressed. */
typedef struct QRVL_MD5_CTX {
  uint32_t state[4]; /**< chaining values A, B, C, D */
  uint32_t count[2]; /**< message bits so far, modulo 2^64, low word first */
  uint8_t buffer[64]; /**< message bytes not yet compressed */
} QRVL_MD5_CTX;

/** QRVL_MD5Init starts a new MD5 computation in ctx: it sets the chaining
   values and zeroes the bit count (buffer is left as it is).  ctx is the
   caller's; one thread at a time per context. */
QRVL_API void QRVL_MD5Init(QRVL_MD5_CTX *ctx);
/** QRVL_MD5Update absorbs len bytes of input into ctx; a message may be fed
   in any number of pieces of any length.  Pointers are not checked.  One
   thread at a time per context. */
QRVL_API void QRVL_MD5Update(QRVL_MD5_CTX *ctx, const uint8_t *input, uint32_t len);
/** QRVL_MD5Final pads the message, writes its 16-byte digest to digest and
   clears every byte of ctx, which needs QRVL_MD5Init before it is used
   again.  Note the order: digest first, context second.
   One thread at a time per context. */
QRVL_API void QRVL_MD5Final(uint8_t *digest, QRVL_MD5_CTX *ctx);

/** GetCrc32 steps the running value crc over len bytes of data and returns
   the new running value.  mode 0: CRC-32 register most significant bit
   first (polynomial 0x04C11DB7, no reflection); mode 1: reflected CRC-32 of
   IEEE 802.3 (table of 0xEDB88320); mode 2: sum of the bytes modulo 2^32.
   Any other mode, and len 0, return crc unchanged without reading data.
   No initial value and no final xor are applied: the IEEE 802.3 CRC-32 of
   a message is GetCrc32(1, 0xFFFFFFFF, ...) ^ 0xFFFFFFFF, and a buffer may
   be processed in pieces by feeding each result into the next call.
   Stateless and thread-safe. */
QRVL_API uint32_t GetCrc32(int32_t mode, uint32_t crc, const uint8_t *data, uint32_t len);

/** MurmurHash3_x86_32 writes the 32-bit MurmurHash3 of the len bytes at key
   with the given seed to out (one native u32; out need not be aligned).
   len must be 0 or more: a negative len is hashed as the empty key and
   nothing is read.  Not a cryptographic hash.  Stateless and thread-safe. */
QRVL_API void MurmurHash3_x86_32(const void *key, int32_t len, uint32_t seed, void *out);
/** MurmurHash3_x86_128 writes the 128-bit MurmurHash3 (32-bit lanes) of the
   len bytes at key to out as four native u32 h1, h2, h3, h4.  A negative
   len is hashed as the empty key.  Stateless and thread-safe. */
QRVL_API void MurmurHash3_x86_128(const void *key, int32_t len, uint32_t seed, void *out);
/** MurmurHash3_x64_128 writes the 128-bit MurmurHash3 (64-bit lanes) of the
   len bytes at key to out as two native u64 h1, h2; both lanes start from
   seed widened with zero high bits.  A negative len is hashed as the empty
   key.  Stateless and thread-safe. */
QRVL_API void MurmurHash3_x64_128(const void *key, int32_t len, uint32_t seed, void *out);
/** @} */

/* ---- Base64 and hex -------------------------------------------------------- */

/** @name Base64 and hex */
/** @{ */

/** ToBase64Simple writes the Base64 text (alphabet A-Z a-z 0-9 + /, '='
   padding, no line breaks) of the in_len bytes at in to out, followed by a
   NUL, and returns the number of characters, 4 * ceil(in_len / 3).
   out_size must be at least that plus 1.  Returns 0 for a null pointer
   (nothing written), for in_len of 0 or less (an empty string is written
   when out_size is at least 1), and when out_size is too small; in that
   last case the whole 4-character groups that fitted have been written and
   must not be used.  Stateless and thread-safe. */
QRVL_API int32_t ToBase64Simple(const uint8_t *in, int32_t in_len, char *out, int32_t out_size);
/** FromBase64Simple decodes the Base64 text of in_len characters at in into
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
/** mmData2HexString writes the len bytes at data to out as 2 * len
   lower-case hex digits followed by a NUL and returns 2 * len.  Returns 0
   with nothing written for a null pointer, for len of 0 or less, or when
   out_size is below 2 * len + 1.  Stateless and thread-safe. */
QRVL_API int32_t mmData2HexString(const uint8_t *data, int32_t len, char *out, int32_t out_size);
/** mmHexString2Data reads the len characters at hex as pairs of hex digits
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
/** @} */

QRVL_END_DECLS

#endif /* QUORVEL_CRYPTO_H */
