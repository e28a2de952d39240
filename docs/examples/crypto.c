/* Crypto: a SHA-256 digest as hex, an HMAC, AES-CBC there and back, Base64
   and the IEEE CRC-32, checked against their published values. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

#define CHECK(x) if (!(x)) { fprintf(stderr, "failed: %s\n", #x); return 1; }

int main(void) {
  const uint8_t abc[3] = {'a', 'b', 'c'};
  uint8_t digest[32], plain[32], cipher[32], back[32];
  char hex[65], b64[16];
  uint8_t bytes[16];
  CAesKeyPair keys;
  csha256_ctx ctx;
  const uint8_t key[16] = "0123456789abcdef", iv[16] = "fedcba9876543210";
  uint32_t n;

  csha256(abc, 3, digest);
  CHECK(mmData2HexString(digest, 32, hex, sizeof hex) == 64);
  CHECK(strcmp(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad") == 0);
  csha256_init(&ctx); /* the same digest from pieces */
  csha256_update(&ctx, abc, 1);
  csha256_update(&ctx, abc + 1, 2);
  csha256_final(&ctx, back);
  CHECK(memcmp(back, digest, 32) == 0);

  /* HMAC-SHA-256 of RFC 4231 test case 2, cut to its first 4 bytes. */
  hmac_csha256((const uint8_t *)"Jefe", 4, (const uint8_t *)"what do ya want for nothing?", 28,
               digest, 4);
  CHECK(digest[0] == 0x5b && digest[1] == 0xdc && digest[2] == 0xc1 && digest[3] == 0x46);

  /* AES-128-CBC: 20 bytes become two blocks; the pad goes into plain. */
  CHECK(CAesKeyInit(key, sizeof key, 128, &keys) == 0);
  memcpy(plain, "twenty bytes of text", 20);
  n = CAesCbcEncrypt(plain, 20, iv, sizeof iv, cipher, sizeof cipher, &keys);
  CHECK(n == 32);
  CHECK(CAesCbcDecrypt(cipher, n, iv, sizeof iv, back, sizeof back, &keys) == 20);
  CHECK(memcmp(back, "twenty bytes of text", 20) == 0);

  CHECK(ToBase64Simple(abc, 3, b64, sizeof b64) == 4 && strcmp(b64, "YWJj") == 0);
  CHECK(FromBase64Simple("YWJj", 4, bytes, sizeof bytes) == 3 && memcmp(bytes, abc, 3) == 0);
  CHECK((GetCrc32(1, 0xFFFFFFFFu, (const uint8_t *)"123456789", 9) ^ 0xFFFFFFFFu) == 0xCBF43926u);
  return 0;
}
