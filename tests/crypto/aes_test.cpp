// AES against FIPS 197 and NIST SP 800-38A vectors, plus the padding, key
// and IV rules of the buffer functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/aes_sha_hex.hpp"
#include "quorvel/crypto.h"

using aes_sha_test::from_hex;
using aes_sha_test::to_hex;

namespace {

struct KeyCase {
  int bits;
  const char *key;
};

// The SP 800-38A keys, shared with the FIPS 197 appendix A expansions.
const KeyCase kNistKeys[] = {
    {128, "2b7e151628aed2a6abf7158809cf4f3c"},
    {192, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b"},
    {256, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"},
};

const char *kNistPlain =
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";

CAesKeyPair pair_for(const std::vector<uint8_t> &key, uint32_t bits) {
  CAesKeyPair keys;
  EXPECT_EQ(CAesKeyInit(key.data(), static_cast<uint32_t>(key.size()), bits, &keys), 0);
  return keys;
}

std::vector<uint8_t> encrypt_block(const CAES_schedule &s, std::vector<uint8_t> block) {
  CAES_encrypt(block.data(), block.data(), &s);
  return block;
}

uint8_t gf_mul(uint8_t a, uint8_t b) {
  uint8_t p = 0;
  for (; b != 0; b >>= 1) {
    if (b & 1) p ^= a;
    a = static_cast<uint8_t>(a << 1 ^ (a & 0x80 ? 0x1b : 0));
  }
  return p;
}

uint32_t inv_mix_column(uint32_t w) {
  const uint8_t a[4] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w)};
  const uint8_t m[4] = {0x0e, 0x0b, 0x0d, 0x09};
  uint32_t r = 0;
  for (int row = 0; row < 4; ++row) {
    uint8_t b = 0;
    for (int col = 0; col < 4; ++col) b ^= gf_mul(m[(col - row + 4) % 4], a[col]);
    r = r << 8 | b;
  }
  return r;
}

}  // namespace

TEST(Aes, Fips197ExampleVectors) {
  struct {
    int bits;
    const char *key, *cipher;
  } cases[] = {
      {128, "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {192, "000102030405060708090a0b0c0d0e0f1011121314151617",
       "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8ea2b7ca516745bfeafc49904b496089"},
  };
  const auto plain = from_hex("00112233445566778899aabbccddeeff");
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bits);
    CAES_schedule enc, dec;
    ASSERT_EQ(CAES_set_encrypt_key(from_hex(c.key).data(), c.bits, &enc), 0);
    ASSERT_EQ(CAES_set_decrypt_key(from_hex(c.key).data(), c.bits, &dec), 0);
    EXPECT_EQ(enc.rounds, c.bits / 32 + 6);
    EXPECT_EQ(dec.rounds, enc.rounds);
    uint8_t out[16], back[16];
    CAES_encrypt(plain.data(), out, &enc);
    EXPECT_EQ(to_hex(out, 16), c.cipher);
    CAES_decrypt(out, back, &dec);
    EXPECT_EQ(to_hex(back, 16), to_hex(plain));
    // in == out
    CAES_decrypt(out, out, &dec);
    EXPECT_EQ(to_hex(out, 16), to_hex(plain));
  }
}

TEST(Aes, ScheduleLayout) {
  // Last words of the FIPS 197 appendix A expansions.
  const uint32_t first_derived[] = {0xa0fafe17, 0xfe0c91f7, 0x9ba35411};
  const uint32_t last[] = {0xb6630ca6, 0x01002202, 0x706c631e};
  for (int k = 0; k < 3; ++k) {
    const auto key = from_hex(kNistKeys[k].key);
    const int bits = kNistKeys[k].bits;
    const int nk = bits / 32, rounds = nk + 6;
    CAES_schedule enc, dec;
    ASSERT_EQ(CAES_set_encrypt_key(key.data(), bits, &enc), 0);
    ASSERT_EQ(CAES_set_decrypt_key(key.data(), bits, &dec), 0);
    EXPECT_EQ(enc.round_keys[0], uint32_t(key[0]) << 24 | key[1] << 16 | key[2] << 8 | key[3]);
    EXPECT_EQ(enc.round_keys[nk], first_derived[k]);
    EXPECT_EQ(enc.round_keys[4 * rounds + 3], last[k]);
    // Round keys reversed by rounds; all but the outer two pass through
    // InvMixColumns.
    for (int r = 0; r <= rounds; ++r) {
      for (int w = 0; w < 4; ++w) {
        const uint32_t src = enc.round_keys[4 * (rounds - r) + w];
        const uint32_t want = (r == 0 || r == rounds) ? src : inv_mix_column(src);
        EXPECT_EQ(dec.round_keys[4 * r + w], want) << "round " << r << " word " << w;
      }
    }
  }
  // The FIPS 197 MixColumns example: d4 bf 5d 30 mixes to 04 66 81 e5.
  EXPECT_EQ(inv_mix_column(0x046681e5), 0xd4bf5d30u);
}

TEST(Aes, KeySetupRefusals) {
  CAES_schedule s;
  std::memset(&s, 0xa5, sizeof s);
  const CAES_schedule before = s;
  const uint8_t key[32] = {1, 2, 3};
  for (int bits : {0, 64, 127, 129, 512, -128}) {
    EXPECT_EQ(CAES_set_encrypt_key(key, bits, &s), -2) << bits;
    EXPECT_EQ(CAES_set_decrypt_key(key, bits, &s), -2) << bits;
  }
  EXPECT_EQ(CAES_set_encrypt_key(nullptr, 128, &s), -1);
  EXPECT_EQ(CAES_set_decrypt_key(nullptr, 128, &s), -1);
  EXPECT_EQ(CAES_set_encrypt_key(key, 128, nullptr), -1);
  EXPECT_EQ(CAES_set_decrypt_key(key, 64, nullptr), -1);  // pointers are tested first
  EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);

  // A schedule that was never filled is not run past its round keys.
  uint8_t block[16];
  std::memset(block, 0x77, sizeof block);
  s.rounds = 1000;
  CAES_encrypt(block, block, &s);
  EXPECT_EQ(to_hex(block, 16), std::string(32, '0'));

  CAesKeyPair keys;
  std::memset(&keys, 0, sizeof keys);
  uint8_t in[32] = {}, out[32];
  EXPECT_EQ(CAesEncrypt(in, 16, out, sizeof out, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(in, 16, out, sizeof out, &keys), 0u);
}

TEST(Aes, EcbMatchesSp80038aPlusPadBlock) {
  const char *ciphers[] = {
      "3ad77bb40d7a3660a89ecaf32466ef97 f5d3d58503b9699de785895a96fdbaaf"
      "43b1cd7f598ece23881b00e3ed030688 7b0c785e27e8ad3f8223207104725dd4",
      "bd334f1d6e45f25ff712a214571fa5cc 974104846d0ad3ad7734ecb3ecee4eef"
      "ef7afd2270e2e60adce0ba2face6444e 9a4b41ba738d6c72fb16691603c18e0e",
      "f3eed1bdb5d2a03c064b5a7e3db181f8 591ccb10d410ed26dc5ba74a31362870"
      "b6ed21b99ca6f4f9f153e7b1beafed1d 23304b7a39f9f3ff067d8d8f9e24ecc7",
  };
  const auto plain = from_hex(kNistPlain);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(kNistKeys[k].bits);
    const auto keys = pair_for(from_hex(kNistKeys[k].key), kNistKeys[k].bits);
    std::vector<uint8_t> out(80, 0xee);
    ASSERT_EQ(CAesEncrypt(plain.data(), 64, out.data(), 80, &keys), 80u);
    EXPECT_EQ(to_hex(out.data(), 64), to_hex(from_hex(ciphers[k])));
    // A whole-block message gets a block of sixteen 0x10.
    const auto pad = encrypt_block(keys.encrypt_schedule, std::vector<uint8_t>(16, 0x10));
    EXPECT_EQ(to_hex(out.data() + 64, 16), to_hex(pad));

    std::vector<uint8_t> back(80, 0);
    EXPECT_EQ(CAesDecrypt(out.data(), 80, back.data(), 80, &keys), 64u);
    EXPECT_EQ(to_hex(back.data(), 64), to_hex(plain));
    EXPECT_EQ(back[79], 0x10);  // pad left in place
    // Without the pad block the last plain byte (0x10) is read as the pad.
    EXPECT_EQ(CAesDecrypt(out.data(), 64, back.data(), 64, &keys), 48u);
  }
}

TEST(Aes, CbcMatchesSp80038aPlusPadBlock) {
  const char *ciphers[] = {
      "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
      "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7",
      "4f021db243bc633d7178183a9fa071e8 b4d9ada9ad7dedf4e5e738763f69145a"
      "571b242012fb7ae07fa9baac3df102e0 08b0e27988598881d920a9e64f5615cd",
      "f58c4c04d6e5f1ba779eabfb5f7bfbd6 9cfc4e967edb808d679f777bc6702c7d"
      "39f23369a9d9bacfa530e26304231461 b2eb05e2c39be9fcda6c19078c6a9d1b",
  };
  const auto iv = from_hex("000102030405060708090a0b0c0d0e0f");
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(kNistKeys[k].bits);
    const auto keys = pair_for(from_hex(kNistKeys[k].key), kNistKeys[k].bits);
    auto in = from_hex(kNistPlain);
    in.resize(80, 0xee);
    std::vector<uint8_t> out(80);
    ASSERT_EQ(CAesCbcEncrypt(in.data(), 64, iv.data(), 16, out.data(), 80, &keys), 80u);
    const auto expect = from_hex(ciphers[k]);
    EXPECT_EQ(to_hex(out.data(), 64), to_hex(expect));
    // The pad block chains from the last vector block.
    std::vector<uint8_t> pad(16);
    for (int i = 0; i < 16; ++i) pad[i] = static_cast<uint8_t>(0x10 ^ expect[48 + i]);
    EXPECT_EQ(to_hex(out.data() + 64, 16), to_hex(encrypt_block(keys.encrypt_schedule, pad)));
    // The pad was written into the caller's input.
    EXPECT_EQ(to_hex(in.data() + 64, 16), "10101010101010101010101010101010");

    std::vector<uint8_t> back(80);
    EXPECT_EQ(CAesCbcDecrypt(out.data(), 80, iv.data(), 16, back.data(), 80, &keys), 64u);
    EXPECT_EQ(to_hex(back.data(), 64), to_hex(from_hex(kNistPlain)));
    // In place gives the same.
    EXPECT_EQ(CAesCbcDecrypt(out.data(), 80, iv.data(), 16, out.data(), 80, &keys), 64u);
    EXPECT_EQ(to_hex(out.data(), 64), to_hex(from_hex(kNistPlain)));
  }
}

TEST(Aes, EcbPaddingAndRefusals) {
  const auto keys = pair_for(from_hex(kNistKeys[0].key), 128);
  std::vector<uint8_t> msg(64);
  for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(i * 7 + 1);

  std::vector<uint8_t> out(48, 0xee);
  ASSERT_EQ(CAesEncrypt(msg.data(), 15, out.data(), 16, &keys), 16u);
  std::vector<uint8_t> last(msg.begin(), msg.begin() + 15);
  last.push_back(0x01);
  EXPECT_EQ(to_hex(out.data(), 16), to_hex(encrypt_block(keys.encrypt_schedule, last)));
  EXPECT_EQ(out[16], 0xee);

  // Refusals write nothing.
  std::fill(out.begin(), out.end(), 0xee);
  EXPECT_EQ(CAesEncrypt(msg.data(), 0, out.data(), 48, &keys), 0u);
  EXPECT_EQ(CAesEncrypt(msg.data(), 32, out.data(), 47, &keys), 0u);  // one short of 48
  EXPECT_EQ(CAesEncrypt(nullptr, 5, out.data(), 48, &keys), 0u);
  EXPECT_EQ(CAesEncrypt(msg.data(), 5, nullptr, 48, &keys), 0u);
  EXPECT_EQ(CAesEncrypt(msg.data(), 5, out.data(), 48, nullptr), 0u);
  EXPECT_EQ(CAesEncrypt(msg.data(), 0xfffffff0u, out.data(), 0xffffffffu, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(msg.data(), 15, out.data(), 48, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(msg.data(), 32, out.data(), 31, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(nullptr, 32, out.data(), 48, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(msg.data(), 32, nullptr, 48, &keys), 0u);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0xee), 48);

  // A 20-byte input decrypts its first block only.
  ASSERT_EQ(CAesEncrypt(msg.data(), 15, out.data(), 48, &keys), 16u);
  out[16] = 1, out[17] = 2, out[18] = 3, out[19] = 4;
  std::vector<uint8_t> back(20, 0xee);
  EXPECT_EQ(CAesDecrypt(out.data(), 20, back.data(), 16, &keys), 15u);
  EXPECT_EQ(to_hex(back.data(), 15), to_hex(msg.data(), 15));
  EXPECT_EQ(to_hex(back.data() + 16, 4), "eeeeeeee");
}

TEST(Aes, DecryptTrustsTheLastByte) {
  const auto keys = pair_for(from_hex(kNistKeys[2].key), 256);
  // Blocks whose plain text ends in v: the decrypt result is whole - v,
  // or 0 when v is not below whole.
  struct {
    uint32_t len;
    uint8_t v;
    uint32_t expect;
  } cases[] = {{256, 0, 256}, {256, 200, 56}, {256, 255, 1}, {16, 16, 0}, {16, 15, 1}, {16, 17, 0},
               {32, 32, 0},   {32, 31, 1}};
  for (const auto &c : cases) {
    std::vector<uint8_t> plain(256, 0x5a);
    plain.resize(c.len);
    plain[c.len - 1] = c.v;
    std::vector<uint8_t> cipher(c.len), back(c.len);
    for (uint32_t off = 0; off < c.len; off += 16)
      CAES_encrypt(plain.data() + off, cipher.data() + off, &keys.encrypt_schedule);
    EXPECT_EQ(CAesDecrypt(cipher.data(), c.len, back.data(), c.len, &keys), c.expect)
        << c.len << " " << int(c.v);
    EXPECT_EQ(back, plain);  // pad bytes stay in out
    // The same rule in CBC, where a zero IV makes the first block plain ECB.
    const uint8_t zero_iv[16] = {};
    if (c.len == 16) {
      EXPECT_EQ(CAesCbcDecrypt(cipher.data(), 16, zero_iv, 16, back.data(), 16, &keys), c.expect);
    }
  }
}

TEST(Aes, KeyInitRepeatsCutsAndFallsBack) {
  const auto long_key = from_hex(
      "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f2021222324252627");
  auto schedule_of = [](const std::vector<uint8_t> &key, int bits) {
    CAES_schedule s;
    EXPECT_EQ(CAES_set_encrypt_key(key.data(), bits, &s), 0);
    return s;
  };
  auto same = [](const CAES_schedule &a, const CAES_schedule &b) {
    return a.rounds == b.rounds && std::memcmp(a.round_keys, b.round_keys, 4 * 4 * (a.rounds + 1)) == 0;
  };
  CAesKeyPair keys;
  // 40 bytes at 128 bits: the first 16.
  ASSERT_EQ(CAesKeyInit(long_key.data(), 40, 128, &keys), 0);
  EXPECT_TRUE(same(keys.encrypt_schedule, schedule_of({long_key.begin(), long_key.begin() + 16}, 128)));
  // Any other bit count means 128.
  for (uint32_t bits : {0u, 100u, 64u, 512u}) {
    ASSERT_EQ(CAesKeyInit(long_key.data(), 40, bits, &keys), 0);
    EXPECT_EQ(keys.encrypt_schedule.rounds, 10);
    EXPECT_TRUE(same(keys.encrypt_schedule, schedule_of({long_key.begin(), long_key.begin() + 16}, 128)));
  }
  // 10 bytes at 256 bits repeat to 32; 5 bytes at 128 bits to 16.
  ASSERT_EQ(CAesKeyInit(long_key.data(), 10, 256, &keys), 0);
  std::vector<uint8_t> repeated;
  for (int i = 0; i < 32; ++i) repeated.push_back(long_key[i % 10]);
  EXPECT_TRUE(same(keys.encrypt_schedule, schedule_of(repeated, 256)));
  const auto k5 = from_hex("a1b2c3d4e5");
  ASSERT_EQ(CAesKeyInit(k5.data(), 5, 128, &keys), 0);
  EXPECT_TRUE(same(keys.encrypt_schedule,
                   schedule_of(from_hex("a1b2c3d4e5 a1b2c3d4e5 a1b2c3d4e5 a1"), 128)));
  // The decrypt schedule comes from the same key.
  CAES_schedule dec;
  ASSERT_EQ(CAES_set_decrypt_key(from_hex("a1b2c3d4e5a1b2c3d4e5a1b2c3d4e5a1").data(), 128, &dec), 0);
  EXPECT_TRUE(same(keys.decrypt_schedule, dec));
  // 24 bytes at 192 bits are used as they are.
  ASSERT_EQ(CAesKeyInit(long_key.data(), 24, 192, &keys), 0);
  EXPECT_TRUE(same(keys.encrypt_schedule, schedule_of({long_key.begin(), long_key.begin() + 24}, 192)));

  // Refusals leave the pair untouched.
  CAesKeyPair untouched;
  std::memset(&untouched, 0x3c, sizeof untouched);
  const CAesKeyPair before = untouched;
  EXPECT_EQ(CAesKeyInit(nullptr, 16, 128, &untouched), -1);
  EXPECT_EQ(CAesKeyInit(long_key.data(), 0, 128, &untouched), -1);
  EXPECT_EQ(CAesKeyInit(long_key.data(), 16, 128, nullptr), -1);
  EXPECT_EQ(std::memcmp(&untouched, &before, sizeof before), 0);
}

TEST(Aes, CbcIvRepetitionAndRefusals) {
  const auto keys = pair_for(from_hex(kNistKeys[1].key), 192);
  std::vector<uint8_t> msg(100);
  for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(i * 13);
  auto cbc = [&](const std::vector<uint8_t> &iv) {
    std::vector<uint8_t> in(msg), out(112, 0xee);
    in.resize(112);
    EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv.data(), static_cast<uint32_t>(iv.size()),
                             out.data(), 112, &keys),
              112u);
    return out;
  };
  const auto iv4 = from_hex("01020304");
  const auto first = cbc(iv4);
  EXPECT_EQ(first, cbc(iv4));  // the caller's IV is not advanced
  EXPECT_EQ(first, cbc(from_hex("01020304010203040102030401020304")));
  EXPECT_EQ(cbc(from_hex("0102030405060708090a")), cbc(from_hex("0102030405060708090a010203040506")));
  EXPECT_EQ(cbc(from_hex("000102030405060708090a0b0c0d0e0fffff")),
            cbc(from_hex("000102030405060708090a0b0c0d0e0f")));
  std::vector<uint8_t> back(112);
  EXPECT_EQ(CAesCbcDecrypt(first.data(), 112, iv4.data(), 4, back.data(), 112, &keys), 100u);
  EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 100), msg);

  std::vector<uint8_t> in(msg), out(112, 0xee);
  in.resize(112, 0xcc);
  const auto in_before = in;
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv4.data(), 0, out.data(), 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, nullptr, 4, out.data(), 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv4.data(), 4, out.data(), 111, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 0, iv4.data(), 4, out.data(), 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(nullptr, 100, iv4.data(), 4, out.data(), 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv4.data(), 4, nullptr, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv4.data(), 4, out.data(), 112, nullptr), 0u);
  EXPECT_EQ(in, in_before);  // no pad written on refusal
  EXPECT_EQ(CAesCbcDecrypt(first.data(), 112, iv4.data(), 0, out.data(), 112, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(first.data(), 112, nullptr, 4, out.data(), 112, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(first.data(), 112, iv4.data(), 4, out.data(), 111, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(first.data(), 15, iv4.data(), 4, out.data(), 112, &keys), 0u);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0xee), 112);
}

TEST(Aes, RoundTripsInPlaceAndAtAnyAlignment) {
  const auto keys = pair_for(from_hex(kNistKeys[2].key), 256);
  const auto iv = from_hex("f0e1d2c3b4a5968778695a4b3c2d1e0f");
  std::vector<uint8_t> msg(700);
  for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(i * 31 + 7);
  for (uint32_t len = 1; len <= msg.size(); len += (len < 70 ? 1 : 37)) {
    SCOPED_TRACE(len);
    const uint32_t total = (len / 16 + 1) * 16;
    std::vector<uint8_t> ecb(total), cbc(total), in(msg.begin(), msg.begin() + len);
    in.resize(total);
    ASSERT_EQ(CAesEncrypt(msg.data(), len, ecb.data(), total, &keys), total);
    ASSERT_EQ(CAesCbcEncrypt(in.data(), len, iv.data(), 16, cbc.data(), total, &keys), total);

    for (size_t shift : {0, 1, 2, 3}) {
      // Copies at odd offsets decrypt in place to the same message.
      std::vector<uint8_t> a(total + shift), b(total + shift);
      std::memcpy(a.data() + shift, ecb.data(), total);
      std::memcpy(b.data() + shift, cbc.data(), total);
      ASSERT_EQ(CAesDecrypt(a.data() + shift, total, a.data() + shift, total, &keys), len);
      ASSERT_EQ(CAesCbcDecrypt(b.data() + shift, total, iv.data(), 16, b.data() + shift, total, &keys), len);
      EXPECT_EQ(std::memcmp(a.data() + shift, msg.data(), len), 0);
      EXPECT_EQ(std::memcmp(b.data() + shift, msg.data(), len), 0);
      // And the encryptions at odd offsets give the same bytes.
      std::vector<uint8_t> c(total + shift);
      std::memcpy(c.data() + shift, msg.data(), len);
      std::vector<uint8_t> d(total + shift);
      ASSERT_EQ(CAesCbcEncrypt(c.data() + shift, len, iv.data() + 0, 16, d.data() + shift, total, &keys), total);
      EXPECT_EQ(std::memcmp(d.data() + shift, cbc.data(), total), 0);
    }
  }
}

TEST(Aes, EngineRunsOfBlocksMatchSingleBlocks) {
  const auto keys = pair_for(from_hex(kNistKeys[0].key), 128);
  const auto &engine = quorvel::detail::aes_engine();
  std::vector<uint8_t> in(16 * 9), run(in.size()), single(in.size());
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i ^ 0x5a);
  engine.encrypt_blocks(&keys.encrypt_schedule, in.data(), run.data(), 9);
  for (size_t b = 0; b < 9; ++b) CAES_encrypt(in.data() + 16 * b, single.data() + 16 * b, &keys.encrypt_schedule);
  EXPECT_EQ(run, single);
  engine.decrypt_blocks(&keys.decrypt_schedule, run.data(), run.data(), 9);
  EXPECT_EQ(run, in);
  // CBC in two runs, handing the chain on, equals one run; the chain left
  // behind is the last cipher block.
  uint8_t chain[16] = {}, chain2[16] = {};
  std::vector<uint8_t> one(in.size()), two(in.size());
  engine.cbc_encrypt(&keys.encrypt_schedule, chain, in.data(), one.data(), 9);
  engine.cbc_encrypt(&keys.encrypt_schedule, chain2, in.data(), two.data(), 4);
  engine.cbc_encrypt(&keys.encrypt_schedule, chain2, in.data() + 64, two.data() + 64, 5);
  EXPECT_EQ(one, two);
  EXPECT_EQ(to_hex(chain, 16), to_hex(one.data() + 128, 16));
  EXPECT_EQ(to_hex(chain2, 16), to_hex(chain, 16));
}

TEST(Aes, OneKeyPairServesManyThreads) {
  const auto keys = pair_for(from_hex(kNistKeys[1].key), 192);
  const auto iv = from_hex("0f0e0d0c0b0a09080706050403020100");
  std::vector<uint8_t> msg(1000);
  for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(i * 3);
  std::vector<uint8_t> in(msg), want(1008);
  in.resize(1008);
  ASSERT_EQ(CAesCbcEncrypt(in.data(), 1000, iv.data(), 16, want.data(), 1008, &keys), 1008u);
  std::vector<int> good(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> mine(msg), out(1008), back(1008);
        mine.resize(1008);
        const bool ok = CAesCbcEncrypt(mine.data(), 1000, iv.data(), 16, out.data(), 1008, &keys) == 1008 &&
                        out == want &&
                        CAesCbcDecrypt(out.data(), 1008, iv.data(), 16, back.data(), 1008, &keys) == 1000 &&
                        std::equal(msg.begin(), msg.end(), back.begin());
        good[t] += ok ? 1 : 0;
      }
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(good, std::vector<int>(4, 50));
}
