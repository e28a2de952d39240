// AES constant tables, derived at compile time from GF(2^8) arithmetic with
// the polynomial x^8 + x^4 + x^3 + x + 1, so no hand-typed table can hide a
// wrong entry and nothing is generated at run time.
#pragma once

#include <cstdint>

namespace quorvel::detail {

constexpr uint8_t gf_xtime(uint8_t a) {
  return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) != 0 ? 0x1b : 0x00));
}

constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  while (b != 0) {
    if ((b & 1) != 0) product = static_cast<uint8_t>(product ^ a);
    a = gf_xtime(a);
    b = static_cast<uint8_t>(b >> 1);
  }
  return product;
}

// a^254 is the multiplicative inverse (and maps 0 to 0, as the S-box wants).
constexpr uint8_t gf_inverse(uint8_t a) {
  uint8_t result = 1;
  uint8_t square = a;
  for (int bit = 1; bit < 8; ++bit) {  // 254 = 0b11111110
    square = gf_mul(square, square);
    result = gf_mul(result, square);
  }
  return result;
}

constexpr uint8_t rotl8(uint8_t v, int n) {
  return static_cast<uint8_t>((v << n) | (v >> (8 - n)));
}

constexpr uint8_t sbox_entry(uint8_t x) {
  const uint8_t b = gf_inverse(x);
  return static_cast<uint8_t>(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^ 0x63);
}

constexpr uint32_t pack_be(uint8_t b3, uint8_t b2, uint8_t b1, uint8_t b0) {
  return (uint32_t{b3} << 24) | (uint32_t{b2} << 16) | (uint32_t{b1} << 8) | uint32_t{b0};
}

constexpr uint32_t rotr32(uint32_t v, int n) { return (v >> n) | (v << (32 - n)); }

// Te[k] is Te0 rotated right by 8k bits, Te0[x] = (2S, S, S, 3S) from the
// most significant byte down; Td likewise with (0e, 09, 0d, 0b)·Si.  The
// last encryption round and the key expansion take S[x] out of the Te
// tables, so only the inverse S-box needs its own byte table.
struct AesTables {
  uint32_t te[4][256];
  uint32_t td[4][256];
  uint8_t si[256];
  uint32_t rcon[10];
};

constexpr AesTables make_aes_tables() {
  AesTables t{};
  uint8_t s[256]{};
  for (int x = 0; x < 256; ++x) {
    s[x] = sbox_entry(static_cast<uint8_t>(x));
    t.si[s[x]] = static_cast<uint8_t>(x);
  }
  for (int x = 0; x < 256; ++x) {
    const uint8_t e = s[x];
    const uint32_t te0 = pack_be(gf_mul(e, 2), e, e, gf_mul(e, 3));
    const uint8_t d = t.si[x];
    const uint32_t td0 =
        pack_be(gf_mul(d, 0x0e), gf_mul(d, 0x09), gf_mul(d, 0x0d), gf_mul(d, 0x0b));
    for (int k = 0; k < 4; ++k) {
      t.te[k][x] = k == 0 ? te0 : rotr32(te0, 8 * k);
      t.td[k][x] = k == 0 ? td0 : rotr32(td0, 8 * k);
    }
  }
  uint8_t rc = 1;
  for (int i = 0; i < 10; ++i) {
    t.rcon[i] = uint32_t{rc} << 24;
    rc = gf_xtime(rc);
  }
  return t;
}

alignas(64) inline constexpr AesTables kAesTables = make_aes_tables();

// S[x] sits in the low byte of Te1[x] (Te0 rotated right by 8).
constexpr uint8_t aes_sbox(uint8_t x) {
  return static_cast<uint8_t>(kAesTables.te[1][x] & 0xff);
}

static_assert(aes_sbox(0x00) == 0x63 && aes_sbox(0x53) == 0xed && aes_sbox(0xff) == 0x16);
static_assert(kAesTables.si[0x63] == 0x00 && kAesTables.si[0x00] == 0x52);
static_assert(kAesTables.te[0][0] == 0xc66363a5u && kAesTables.td[0][0] == 0x51f4a750u);
static_assert(kAesTables.rcon[8] == 0x1b000000u && kAesTables.rcon[9] == 0x36000000u);

}  // namespace quorvel::detail
