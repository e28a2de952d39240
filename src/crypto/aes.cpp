// AES block layer: key expansion and the portable table-driven engine.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/aes.hpp"
#include "crypto/aes_tables.hpp"
#include "crypto/byte_order.hpp"
#include "quorvel/crypto.h"

static_assert(sizeof(CAES_schedule) == 244);
static_assert(offsetof(CAES_schedule, rounds) == 240);
static_assert(sizeof(CAesKeyPair) == 488);
static_assert(offsetof(CAesKeyPair, decrypt_schedule) == 244);

namespace quorvel::detail {
namespace {

constexpr const uint32_t *Te0 = kAesTables.te[0];
constexpr const uint32_t *Te1 = kAesTables.te[1];
constexpr const uint32_t *Te2 = kAesTables.te[2];
constexpr const uint32_t *Te3 = kAesTables.te[3];
constexpr const uint32_t *Td0 = kAesTables.td[0];
constexpr const uint32_t *Td1 = kAesTables.td[1];
constexpr const uint32_t *Td2 = kAesTables.td[2];
constexpr const uint32_t *Td3 = kAesTables.td[3];
constexpr const uint8_t *Si = kAesTables.si;

inline uint32_t b3(uint32_t w) { return w >> 24; }
inline uint32_t b2(uint32_t w) { return (w >> 16) & 0xff; }
inline uint32_t b1(uint32_t w) { return (w >> 8) & 0xff; }
inline uint32_t b0(uint32_t w) { return w & 0xff; }

// SubWord, with the S-box bytes taken from the Te tables.
inline uint32_t sub_word(uint32_t w) {
  return (Te2[b3(w)] & 0xff000000u) ^ (Te3[b2(w)] & 0x00ff0000u) ^ (Te0[b1(w)] & 0x0000ff00u) ^
         (Te1[b0(w)] & 0x000000ffu);
}

int rounds_for_bits(int32_t bits) {
  switch (bits) {
    case 128: return 10;
    case 192: return 12;
    case 256: return 14;
    default: return 0;
  }
}

// The rounds over one block held as four big-endian words (round key 0
// not yet added).
[[gnu::always_inline]] inline void encrypt_words(const CAES_schedule *schedule, uint32_t &s0,
                                                 uint32_t &s1, uint32_t &s2, uint32_t &s3) {
  const uint32_t *rk = schedule->round_keys;
  s0 ^= rk[0];
  s1 ^= rk[1];
  s2 ^= rk[2];
  s3 ^= rk[3];
  uint32_t t0, t1, t2, t3;
  // rounds - 1 full rounds, two per pass; the second half of the last
  // pass is the final round below.
  for (int r = schedule->rounds >> 1;;) {
    t0 = Te0[b3(s0)] ^ Te1[b2(s1)] ^ Te2[b1(s2)] ^ Te3[b0(s3)] ^ rk[4];
    t1 = Te0[b3(s1)] ^ Te1[b2(s2)] ^ Te2[b1(s3)] ^ Te3[b0(s0)] ^ rk[5];
    t2 = Te0[b3(s2)] ^ Te1[b2(s3)] ^ Te2[b1(s0)] ^ Te3[b0(s1)] ^ rk[6];
    t3 = Te0[b3(s3)] ^ Te1[b2(s0)] ^ Te2[b1(s1)] ^ Te3[b0(s2)] ^ rk[7];
    rk += 8;
    if (--r == 0) break;
    s0 = Te0[b3(t0)] ^ Te1[b2(t1)] ^ Te2[b1(t2)] ^ Te3[b0(t3)] ^ rk[0];
    s1 = Te0[b3(t1)] ^ Te1[b2(t2)] ^ Te2[b1(t3)] ^ Te3[b0(t0)] ^ rk[1];
    s2 = Te0[b3(t2)] ^ Te1[b2(t3)] ^ Te2[b1(t0)] ^ Te3[b0(t1)] ^ rk[2];
    s3 = Te0[b3(t3)] ^ Te1[b2(t0)] ^ Te2[b1(t1)] ^ Te3[b0(t2)] ^ rk[3];
  }
  s0 = (Te2[b3(t0)] & 0xff000000u) ^ (Te3[b2(t1)] & 0x00ff0000u) ^ (Te0[b1(t2)] & 0x0000ff00u) ^
       (Te1[b0(t3)] & 0x000000ffu) ^ rk[0];
  s1 = (Te2[b3(t1)] & 0xff000000u) ^ (Te3[b2(t2)] & 0x00ff0000u) ^ (Te0[b1(t3)] & 0x0000ff00u) ^
       (Te1[b0(t0)] & 0x000000ffu) ^ rk[1];
  s2 = (Te2[b3(t2)] & 0xff000000u) ^ (Te3[b2(t3)] & 0x00ff0000u) ^ (Te0[b1(t0)] & 0x0000ff00u) ^
       (Te1[b0(t1)] & 0x000000ffu) ^ rk[2];
  s3 = (Te2[b3(t3)] & 0xff000000u) ^ (Te3[b2(t0)] & 0x00ff0000u) ^ (Te0[b1(t1)] & 0x0000ff00u) ^
       (Te1[b0(t2)] & 0x000000ffu) ^ rk[3];
}

void encrypt_blocks_portable(const CAES_schedule *schedule, const uint8_t *in, uint8_t *out,
                             size_t blocks) {
  for (size_t n = 0; n < blocks; ++n, in += 16, out += 16) {
    uint32_t s0 = load_be32(in), s1 = load_be32(in + 4), s2 = load_be32(in + 8),
             s3 = load_be32(in + 12);
    encrypt_words(schedule, s0, s1, s2, s3);
    store_be32(out, s0);
    store_be32(out + 4, s1);
    store_be32(out + 8, s2);
    store_be32(out + 12, s3);
  }
}

// The chaining value stays in registers from block to block.
void cbc_encrypt_portable(const CAES_schedule *schedule, uint8_t chain[16], const uint8_t *in,
                          uint8_t *out, size_t blocks) {
  uint32_t s0 = load_be32(chain), s1 = load_be32(chain + 4), s2 = load_be32(chain + 8),
           s3 = load_be32(chain + 12);
  for (size_t n = 0; n < blocks; ++n, in += 16, out += 16) {
    s0 ^= load_be32(in);
    s1 ^= load_be32(in + 4);
    s2 ^= load_be32(in + 8);
    s3 ^= load_be32(in + 12);
    encrypt_words(schedule, s0, s1, s2, s3);
    store_be32(out, s0);
    store_be32(out + 4, s1);
    store_be32(out + 8, s2);
    store_be32(out + 12, s3);
  }
  store_be32(chain, s0);
  store_be32(chain + 4, s1);
  store_be32(chain + 8, s2);
  store_be32(chain + 12, s3);
}

void decrypt_blocks_portable(const CAES_schedule *schedule, const uint8_t *in, uint8_t *out,
                             size_t blocks) {
  const int pairs = schedule->rounds >> 1;
  for (size_t n = 0; n < blocks; ++n, in += 16, out += 16) {
    const uint32_t *rk = schedule->round_keys;
    uint32_t s0 = load_be32(in) ^ rk[0];
    uint32_t s1 = load_be32(in + 4) ^ rk[1];
    uint32_t s2 = load_be32(in + 8) ^ rk[2];
    uint32_t s3 = load_be32(in + 12) ^ rk[3];
    uint32_t t0, t1, t2, t3;
    for (int r = pairs;;) {
      t0 = Td0[b3(s0)] ^ Td1[b2(s3)] ^ Td2[b1(s2)] ^ Td3[b0(s1)] ^ rk[4];
      t1 = Td0[b3(s1)] ^ Td1[b2(s0)] ^ Td2[b1(s3)] ^ Td3[b0(s2)] ^ rk[5];
      t2 = Td0[b3(s2)] ^ Td1[b2(s1)] ^ Td2[b1(s0)] ^ Td3[b0(s3)] ^ rk[6];
      t3 = Td0[b3(s3)] ^ Td1[b2(s2)] ^ Td2[b1(s1)] ^ Td3[b0(s0)] ^ rk[7];
      rk += 8;
      if (--r == 0) break;
      s0 = Td0[b3(t0)] ^ Td1[b2(t3)] ^ Td2[b1(t2)] ^ Td3[b0(t1)] ^ rk[0];
      s1 = Td0[b3(t1)] ^ Td1[b2(t0)] ^ Td2[b1(t3)] ^ Td3[b0(t2)] ^ rk[1];
      s2 = Td0[b3(t2)] ^ Td1[b2(t1)] ^ Td2[b1(t0)] ^ Td3[b0(t3)] ^ rk[2];
      s3 = Td0[b3(t3)] ^ Td1[b2(t2)] ^ Td2[b1(t1)] ^ Td3[b0(t0)] ^ rk[3];
    }
    s0 = (uint32_t{Si[b3(t0)]} << 24) ^ (uint32_t{Si[b2(t3)]} << 16) ^
         (uint32_t{Si[b1(t2)]} << 8) ^ uint32_t{Si[b0(t1)]} ^ rk[0];
    s1 = (uint32_t{Si[b3(t1)]} << 24) ^ (uint32_t{Si[b2(t0)]} << 16) ^
         (uint32_t{Si[b1(t3)]} << 8) ^ uint32_t{Si[b0(t2)]} ^ rk[1];
    s2 = (uint32_t{Si[b3(t2)]} << 24) ^ (uint32_t{Si[b2(t1)]} << 16) ^
         (uint32_t{Si[b1(t0)]} << 8) ^ uint32_t{Si[b0(t3)]} ^ rk[2];
    s3 = (uint32_t{Si[b3(t3)]} << 24) ^ (uint32_t{Si[b2(t2)]} << 16) ^
         (uint32_t{Si[b1(t1)]} << 8) ^ uint32_t{Si[b0(t0)]} ^ rk[3];
    store_be32(out, s0);
    store_be32(out + 4, s1);
    store_be32(out + 8, s2);
    store_be32(out + 12, s3);
  }
}

// Decrypts a chunk at a time after setting its ciphertext aside, so that
// in-place decryption still has the previous ciphertext to chain with.
void cbc_decrypt_portable(const CAES_schedule *schedule, uint8_t chain[16], const uint8_t *in,
                          uint8_t *out, size_t blocks) {
  constexpr size_t kChunkBlocks = 16;
  uint8_t saved[kChunkBlocks * 16];
  while (blocks != 0) {
    const size_t n = blocks < kChunkBlocks ? blocks : kChunkBlocks;
    std::memcpy(saved, in, n * 16);
    decrypt_blocks_portable(schedule, saved, out, n);
    const uint8_t *previous = chain;
    for (size_t b = 0; b < n; ++b) {
      for (size_t k = 0; k < 16; ++k) out[16 * b + k] ^= previous[k];
      previous = saved + 16 * b;
    }
    std::memcpy(chain, saved + 16 * (n - 1), 16);
    in += n * 16;
    out += n * 16;
    blocks -= n;
  }
}

}  // namespace

const AesEngine kAesPortable = {"portable",           EngineTier::kPortable,   runs_anywhere,
                                encrypt_blocks_portable, decrypt_blocks_portable,
                                cbc_encrypt_portable,    cbc_decrypt_portable};

}  // namespace quorvel::detail

using namespace quorvel::detail;

extern "C" int32_t CAES_set_encrypt_key(const uint8_t *key, int32_t bits,
                                        CAES_schedule *schedule) {
  if (key == nullptr || schedule == nullptr) return -1;
  const int rounds = rounds_for_bits(bits);
  if (rounds == 0) return -2;
  const int nk = bits / 32;
  const int total = 4 * (rounds + 1);
  uint32_t *w = schedule->round_keys;
  for (int i = 0; i < nk; ++i) w[i] = load_be32(key + 4 * i);
  for (int i = nk; i < total; ++i) {
    uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = sub_word((temp << 8) | (temp >> 24)) ^ kAesTables.rcon[i / nk - 1];
    } else if (nk == 8 && i % nk == 4) {
      temp = sub_word(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  schedule->rounds = rounds;
  return 0;
}

extern "C" int32_t CAES_set_decrypt_key(const uint8_t *key, int32_t bits,
                                        CAES_schedule *schedule) {
  const int32_t rc = CAES_set_encrypt_key(key, bits, schedule);
  if (rc < 0) return rc;
  const int rounds = schedule->rounds;
  uint32_t *rk = schedule->round_keys;
  for (int i = 0, j = 4 * rounds; i < j; i += 4, j -= 4) {
    for (int k = 0; k < 4; ++k) {
      const uint32_t tmp = rk[i + k];
      rk[i + k] = rk[j + k];
      rk[j + k] = tmp;
    }
  }
  // InvMixColumns of a word: Td applied to S[b] undoes the S-box inside Td.
  for (int i = 4; i < 4 * rounds; ++i) {
    const uint32_t w = rk[i];
    const auto sb = [](uint32_t byte) { return aes_sbox(static_cast<uint8_t>(byte)); };
    rk[i] = Td0[sb(b3(w))] ^ Td1[sb(b2(w))] ^ Td2[sb(b1(w))] ^ Td3[sb(b0(w))];
  }
  return 0;
}

extern "C" void CAES_encrypt(const uint8_t *in, uint8_t *out, const CAES_schedule *schedule) {
  if (!aes_rounds_valid(schedule->rounds)) {
    std::memset(out, 0, 16);
    return;
  }
  aes_engine().encrypt_blocks(schedule, in, out, 1);
}

extern "C" void CAES_decrypt(const uint8_t *in, uint8_t *out, const CAES_schedule *schedule) {
  if (!aes_rounds_valid(schedule->rounds)) {
    std::memset(out, 0, 16);
    return;
  }
  aes_engine().decrypt_blocks(schedule, in, out, 1);
}
