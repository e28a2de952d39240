// AES against FIPS 197 and NIST SP 800-38A vectors, plus the padding, key
// and IV rules of the buffer functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "crypto/aes_sha_hex.hpp"
#include "quorvel/crypto.h"

using aes_sha_test::from_hex;
using aes_sha_test::to_hex;
using Bytes = std::vector<uint8_t>;

namespace {

// The SP 800-38A keys, shared with the FIPS 197 appendix A expansions.
const struct {
  int bits;
  const char *key;
} kNistKeys[] = {
    {128, "2b7e151628aed2a6abf7158809cf4f3c"},
    {192, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b"},
    {256, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"},
};
const char *kNistPlain =
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";

CAesKeyPair pair_for(int k) {
  const Bytes key = from_hex(kNistKeys[k].key);
  CAesKeyPair keys;
  EXPECT_EQ(CAesKeyInit(key.data(), static_cast<uint32_t>(key.size()),
                        static_cast<uint32_t>(kNistKeys[k].bits), &keys),
            0);
  return keys;
}

Bytes pattern(size_t n, unsigned mul, unsigned add = 0) {
  Bytes v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * mul + add);
  return v;
}

}  // namespace

TEST(Aes, Fips197Vectors) {
  // Appendix C ciphers (key bytes 00 01 02 ...) and appendix A expansion words.
  const struct {
    const char *cipher;
    uint32_t first_derived, last;
  } fips[] = {{"69c4e0d86a7b0430d8cdb78070b4c55a", 0xa0fafe17, 0xb6630ca6},
              {"dda97ca4864cdfe06eaf70a0ec0d7191", 0xfe0c91f7, 0x01002202},
              {"8ea2b7ca516745bfeafc49904b496089", 0x9ba35411, 0x706c631e}};
  const char *plain = "00112233445566778899aabbccddeeff";
  for (int k = 0; k < 3; ++k) {
    const int bits = kNistKeys[k].bits, nk = bits / 32, rounds = nk + 6;
    SCOPED_TRACE(bits);
    const Bytes key = pattern(static_cast<size_t>(bits / 8), 1), nist = from_hex(kNistKeys[k].key);
    CAES_schedule enc, dec;
    ASSERT_EQ(CAES_set_encrypt_key(key.data(), bits, &enc), 0);
    ASSERT_EQ(CAES_set_decrypt_key(key.data(), bits, &dec), 0);
    EXPECT_EQ(enc.rounds, rounds);
    EXPECT_EQ(dec.rounds, rounds);
    uint8_t out[16], back[16];
    CAES_encrypt(from_hex(plain).data(), out, &enc);
    EXPECT_EQ(to_hex(out, 16), fips[k].cipher);
    CAES_decrypt(out, back, &dec);
    EXPECT_EQ(to_hex(back, 16), plain);

    ASSERT_EQ(CAES_set_encrypt_key(nist.data(), bits, &enc), 0);
    EXPECT_EQ(enc.round_keys[nk], fips[k].first_derived);
    EXPECT_EQ(enc.round_keys[4 * rounds + 3], fips[k].last);
  }
}

TEST(Aes, Sp80038aEcbAndCbc) {
  const char *ecb[] = {
      "3ad77bb40d7a3660a89ecaf32466ef97 f5d3d58503b9699de785895a96fdbaaf"
      "43b1cd7f598ece23881b00e3ed030688 7b0c785e27e8ad3f8223207104725dd4",
      "bd334f1d6e45f25ff712a214571fa5cc 974104846d0ad3ad7734ecb3ecee4eef"
      "ef7afd2270e2e60adce0ba2face6444e 9a4b41ba738d6c72fb16691603c18e0e",
      "f3eed1bdb5d2a03c064b5a7e3db181f8 591ccb10d410ed26dc5ba74a31362870"
      "b6ed21b99ca6f4f9f153e7b1beafed1d 23304b7a39f9f3ff067d8d8f9e24ecc7",
  };
  const char *cbc[] = {
      "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
      "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7",
      "4f021db243bc633d7178183a9fa071e8 b4d9ada9ad7dedf4e5e738763f69145a"
      "571b242012fb7ae07fa9baac3df102e0 08b0e27988598881d920a9e64f5615cd",
      "f58c4c04d6e5f1ba779eabfb5f7bfbd6 9cfc4e967edb808d679f777bc6702c7d"
      "39f23369a9d9bacfa530e26304231461 b2eb05e2c39be9fcda6c19078c6a9d1b",
  };
  const Bytes plain = from_hex(kNistPlain), iv = from_hex("000102030405060708090a0b0c0d0e0f");
  for (int k = 0; k < 3; ++k)
    for (bool chained : {false, true}) {
      SCOPED_TRACE(testing::Message() << kNistKeys[k].bits << (chained ? " CBC" : " ECB"));
      const auto keys = pair_for(k);
      Bytes in = plain, out(80, 0xee), back(80, 0);
      in.resize(80, 0xee);
      ASSERT_EQ(chained ? CAesCbcEncrypt(in.data(), 64, iv.data(), 16, out.data(), 80, &keys)
                        : CAesEncrypt(in.data(), 64, out.data(), 80, &keys),
                80u);
      EXPECT_EQ(to_hex(out.data(), 64), to_hex(from_hex((chained ? cbc : ecb)[k])));
      // CBC writes the pad into its input.
      EXPECT_EQ(to_hex(in.data() + 64, 16), to_hex(Bytes(16, chained ? 0x10 : 0xee)));
      EXPECT_EQ(chained ? CAesCbcDecrypt(out.data(), 80, iv.data(), 16, back.data(), 80, &keys)
                        : CAesDecrypt(out.data(), 80, back.data(), 80, &keys),
                64u);
      EXPECT_EQ(to_hex(back.data(), 64), to_hex(plain));
    }
}

TEST(Aes, DecryptTrustsTheLastByte) {
  const auto keys = pair_for(2);
  // Plain text ending in v decrypts to whole - v, or 0 when v >= whole.
  const struct {
    uint32_t len;
    uint8_t v;
    uint32_t expect;
  } cases[] = {{256, 0, 256}, {256, 200, 56}, {256, 255, 1}, {16, 16, 0},
               {16, 15, 1},   {16, 17, 0},    {32, 32, 0},   {32, 31, 1}};
  const uint8_t zero_iv[16] = {};
  for (const auto &c : cases) {
    Bytes plain(c.len, 0x5a), cipher(c.len), back(c.len);
    plain[c.len - 1] = c.v;
    for (uint32_t off = 0; off < c.len; off += 16)
      CAES_encrypt(plain.data() + off, cipher.data() + off, &keys.encrypt_schedule);
    EXPECT_EQ(CAesDecrypt(cipher.data(), c.len, back.data(), c.len, &keys), c.expect)
        << c.len << " " << int(c.v);
    EXPECT_EQ(back, plain);  // pad bytes stay in out
    // The same rule in CBC, where a zero IV makes the first block plain ECB.
    if (c.len == 16) {
      EXPECT_EQ(CAesCbcDecrypt(cipher.data(), 16, zero_iv, 16, back.data(), 16, &keys), c.expect);
    }
  }
}

TEST(Aes, KeyInitRepeatsCutsAndFallsBack) {
  const Bytes key = pattern(40, 1);
  // Longer keys are cut, shorter ones repeated; any other bit count means 128.
  const struct {
    uint32_t len, bits;
    int used_bits;
  } cases[] = {{40, 128, 128}, {40, 0, 128},   {40, 100, 128}, {40, 64, 128},
               {40, 512, 128}, {10, 256, 256}, {5, 128, 128},  {24, 192, 192}};
  auto same = [](const CAES_schedule &a, const CAES_schedule &b) {
    return a.rounds == b.rounds &&
           std::memcmp(a.round_keys, b.round_keys, 16 * static_cast<size_t>(a.rounds + 1)) == 0;
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.len << " bytes at " << c.bits);
    Bytes used(static_cast<size_t>(c.used_bits / 8));
    for (size_t i = 0; i < used.size(); ++i) used[i] = key[i % c.len];
    CAesKeyPair keys;
    CAES_schedule enc, dec;
    ASSERT_EQ(CAesKeyInit(key.data(), c.len, c.bits, &keys), 0);
    ASSERT_EQ(CAES_set_encrypt_key(used.data(), c.used_bits, &enc), 0);
    ASSERT_EQ(CAES_set_decrypt_key(used.data(), c.used_bits, &dec), 0);
    EXPECT_TRUE(same(keys.encrypt_schedule, enc));
    EXPECT_TRUE(same(keys.decrypt_schedule, dec));
  }
}

TEST(Aes, ShortMessagesAndIvs) {
  const auto keys = pair_for(1);
  const Bytes msg = pattern(100, 13);
  Bytes out(48, 0xee), back(20, 0xee);
  ASSERT_EQ(CAesEncrypt(msg.data(), 15, out.data(), 16, &keys), 16u);
  Bytes last(msg.begin(), msg.begin() + 15);
  last.push_back(0x01);
  CAES_encrypt(last.data(), last.data(), &keys.encrypt_schedule);
  EXPECT_EQ(to_hex(out.data(), 16), to_hex(last));
  EXPECT_EQ(out[16], 0xee);
  // A 20-byte input decrypts its first block only.
  out[16] = 1, out[17] = 2, out[18] = 3, out[19] = 4;
  EXPECT_EQ(CAesDecrypt(out.data(), 20, back.data(), 16, &keys), 15u);
  EXPECT_EQ(to_hex(back.data(), 15), to_hex(msg.data(), 15));
  EXPECT_EQ(to_hex(back.data() + 16, 4), "eeeeeeee");

  auto cbc = [&](const Bytes &iv) {
    Bytes in(msg), cipher(112, 0xee);
    in.resize(112);
    EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv.data(), static_cast<uint32_t>(iv.size()),
                             cipher.data(), 112, &keys),
              112u);
    return cipher;
  };
  // Short IVs repeat, long ones are cut, and the caller's IV is not advanced.
  const Bytes iv4 = from_hex("01020304"), first = cbc(iv4);
  EXPECT_EQ(first, cbc(iv4));
  EXPECT_EQ(first, cbc(from_hex("01020304010203040102030401020304")));
  EXPECT_EQ(cbc(from_hex("0102030405060708090a")),
            cbc(from_hex("0102030405060708090a010203040506")));
  EXPECT_EQ(cbc(from_hex("000102030405060708090a0b0c0d0e0fffff")),
            cbc(from_hex("000102030405060708090a0b0c0d0e0f")));
  back.resize(112);
  EXPECT_EQ(CAesCbcDecrypt(first.data(), 112, iv4.data(), 4, back.data(), 112, &keys), 100u);
  EXPECT_EQ(Bytes(back.begin(), back.begin() + 100), msg);
}

TEST(Aes, RefusalsWriteNothing) {
  CAES_schedule s;
  std::memset(&s, 0xa5, sizeof s);
  const CAES_schedule s_before = s;
  const uint8_t key[32] = {1, 2, 3};
  for (auto set_key : {CAES_set_encrypt_key, CAES_set_decrypt_key}) {
    for (int bits : {0, 64, 127, 129, 512, -128}) EXPECT_EQ(set_key(key, bits, &s), -2) << bits;
    EXPECT_EQ(set_key(nullptr, 128, &s), -1);
    EXPECT_EQ(set_key(key, 64, nullptr), -1);  // pointers are tested first
  }
  EXPECT_EQ(std::memcmp(&s, &s_before, sizeof s), 0);
  CAesKeyPair pair;
  std::memset(&pair, 0x3c, sizeof pair);
  const CAesKeyPair pair_before = pair;
  EXPECT_EQ(CAesKeyInit(nullptr, 16, 128, &pair), -1);
  EXPECT_EQ(CAesKeyInit(key, 0, 128, &pair), -1);
  EXPECT_EQ(CAesKeyInit(key, 16, 128, nullptr), -1);
  EXPECT_EQ(std::memcmp(&pair, &pair_before, sizeof pair), 0);

  // A schedule that was never filled is not run past its round keys.
  uint8_t block[32];
  std::memset(block, 0x77, 16);
  s.rounds = 1000;
  CAES_encrypt(block, block, &s);
  EXPECT_EQ(to_hex(block, 16), std::string(32, '0'));
  std::memset(block, 0x77, 16);
  CAES_decrypt(block, block, &s);
  EXPECT_EQ(to_hex(block, 16), std::string(32, '0'));
  std::memset(&pair, 0, sizeof pair);
  EXPECT_EQ(CAesEncrypt(key, 16, block, 32, &pair), 0u);
  EXPECT_EQ(CAesDecrypt(key, 16, block, 32, &pair), 0u);

  const auto keys = pair_for(0);
  Bytes in = pattern(112, 13), out(112, 0xee);
  const Bytes in_before = in;
  const uint8_t *m = in.data(), *iv = key;
  uint8_t *o = out.data();
  EXPECT_EQ(CAesEncrypt(m, 0, o, 48, &keys), 0u);
  EXPECT_EQ(CAesEncrypt(m, 32, o, 47, &keys), 0u);  // one short of 48
  EXPECT_EQ(CAesEncrypt(nullptr, 5, o, 48, &keys), 0u);
  EXPECT_EQ(CAesEncrypt(m, 5, nullptr, 48, &keys), 0u);
  EXPECT_EQ(CAesEncrypt(m, 5, o, 48, nullptr), 0u);
  EXPECT_EQ(CAesEncrypt(m, 0xfffffff0u, o, 0xffffffffu, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(m, 15, o, 48, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(m, 32, o, 31, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(nullptr, 32, o, 48, &keys), 0u);
  EXPECT_EQ(CAesDecrypt(m, 32, nullptr, 48, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv, 0, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, nullptr, 4, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv, 4, o, 111, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 0, iv, 4, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(nullptr, 100, iv, 4, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv, 4, nullptr, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv, 4, o, 112, nullptr), 0u);
  EXPECT_EQ(in, in_before);  // no pad written on refusal
  EXPECT_EQ(CAesCbcDecrypt(m, 112, iv, 0, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(m, 112, nullptr, 4, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(m, 112, iv, 4, o, 111, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(m, 15, iv, 4, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(nullptr, 112, iv, 4, o, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(m, 112, iv, 4, nullptr, 112, &keys), 0u);
  EXPECT_EQ(CAesCbcDecrypt(m, 112, iv, 4, o, 112, nullptr), 0u);
  const CAesKeyPair unfilled{};
  EXPECT_EQ(CAesCbcDecrypt(m, 112, iv, 4, o, 112, &unfilled), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 100, iv, 4, o, 112, &unfilled), 0u);
  EXPECT_EQ(CAesCbcEncrypt(in.data(), 0xfffffff0u, iv, 4, o, 0xffffffffu, &keys), 0u);  // total past 32 bits
  EXPECT_EQ(in, in_before);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0xee), 112);
}

// Four threads share one key pair; each decrypts in place at its own offset
// and encrypts there to the bytes of an aligned encryption.
TEST(Aes, OneKeyPairServesThreadsInPlaceAndAtAnyAlignment) {
  const auto keys = pair_for(2);
  const Bytes iv = from_hex("f0e1d2c3b4a5968778695a4b3c2d1e0f"), msg = pattern(700, 31, 7);
  std::vector<std::thread> threads;
  for (size_t shift : {0, 1, 2, 3})
    threads.emplace_back([&, shift] {
      for (uint32_t len = 1; len <= msg.size(); len += (len < 70 ? 1 : 37)) {
        const uint32_t total = (len / 16 + 1) * 16;
        Bytes ecb(total), cbc(total), in(msg.begin(), msg.begin() + len);
        in.resize(total);
        EXPECT_EQ(CAesEncrypt(msg.data(), len, ecb.data(), total, &keys), total);
        EXPECT_EQ(CAesCbcEncrypt(in.data(), len, iv.data(), 16, cbc.data(), total, &keys), total);
        Bytes a(total + shift), b(total + shift), c(total + shift);
        uint8_t *pa = a.data() + shift, *pb = b.data() + shift, *pc = c.data() + shift;
        std::memcpy(pa, ecb.data(), total);
        std::memcpy(pb, cbc.data(), total);
        EXPECT_EQ(CAesDecrypt(pa, total, pa, total, &keys), len);
        EXPECT_EQ(CAesCbcDecrypt(pb, total, iv.data(), 16, pb, total, &keys), len);
        EXPECT_EQ(std::memcmp(pa, msg.data(), len), 0) << len << " at " << shift;
        EXPECT_EQ(std::memcmp(pb, msg.data(), len), 0) << len << " at " << shift;
        EXPECT_EQ(CAesCbcEncrypt(pb, len, iv.data(), 16, pc, total, &keys), total);
        EXPECT_EQ(std::memcmp(pc, cbc.data(), total), 0) << len << " at " << shift;
      }
    });
  for (auto &th : threads) th.join();
}
