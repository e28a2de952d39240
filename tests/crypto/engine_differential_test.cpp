// Every accelerated engine against the portable one, through the exports:
// random inputs of every length 0..4096, at shifting alignments of input
// and output, in both directions, in place where the exports allow it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "crypto/aes.hpp"
#include "crypto/kernels.hpp"
#include "crypto/sha256.hpp"
#include "quorvel/crypto.h"

namespace {

using quorvel::detail::EngineTier;
using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxLength = 4096;
constexpr size_t kSlack = 64 + 32;  // alignment shift, padding block, spare

// A buffer whose data starts `shift` bytes into its storage.
struct Shifted {
  Bytes storage;
  size_t shift;
  Shifted(size_t size, size_t shift_by) : storage(size + kSlack, 0xA5), shift(shift_by) {}
  uint8_t *data() { return storage.data() + shift; }
};

// Runs `f` on the portable engines, then on the tier, and returns both
// results; the cap is left at the tier.
template <class F>
auto both(EngineTier tier, F f) {
  quorvel::detail::set_engine_tier(EngineTier::kPortable);
  auto portable = f();
  quorvel::detail::set_engine_tier(tier);
  auto tiered = f();
  return std::make_pair(portable, tiered);
}

class EngineDifferential : public testing::TestWithParam<EngineTier> {
 protected:
  void SetUp() override {
    if (GetParam() > quorvel::detail::cpu_engine_tier()) {
      GTEST_SKIP() << "this processor has no " << quorvel::detail::engine_tier_name(GetParam());
    }
  }
  void TearDown() override {
    quorvel::detail::set_engine_tier(quorvel::detail::cpu_engine_tier());
  }
  Bytes random_bytes(size_t n) {
    Bytes b(n);
    for (auto &x : b) x = static_cast<uint8_t>(rng_());
    return b;
  }
  std::mt19937 rng_{20261207};
};

// Input at shift a, output at shift b: the whole output buffer is compared,
// so bytes written past the result show too.
Bytes run_aes(uint32_t (*op)(const uint8_t *, uint32_t, uint8_t *, uint32_t, const CAesKeyPair *),
              const Bytes &in, size_t a, size_t b, const CAesKeyPair &keys) {
  Shifted src(in.size(), a), dst(in.size(), b);
  if (!in.empty()) std::memcpy(src.data(), in.data(), in.size());
  const uint32_t n = op(src.data(), static_cast<uint32_t>(in.size()), dst.data(),
                        static_cast<uint32_t>(in.size() + 16), &keys);
  dst.storage.push_back(static_cast<uint8_t>(n));
  dst.storage.push_back(static_cast<uint8_t>(n >> 8));
  return dst.storage;
}

Bytes run_cbc(bool encrypt, bool in_place, const Bytes &in, const Bytes &iv, size_t a, size_t b,
              const CAesKeyPair &keys) {
  Shifted src(in.size(), a), dst(in.size(), b);
  if (!in.empty()) std::memcpy(src.data(), in.data(), in.size());
  uint8_t *out = in_place ? src.data() : dst.data();
  const auto len = static_cast<uint32_t>(in.size());
  const uint32_t n =
      encrypt ? CAesCbcEncrypt(src.data(), len, iv.data(), 16, out, len + 16, &keys)
              : CAesCbcDecrypt(src.data(), len, iv.data(), 16, out, len + 16, &keys);
  Bytes result = in_place ? src.storage : dst.storage;
  result.push_back(static_cast<uint8_t>(n));
  result.push_back(static_cast<uint8_t>(n >> 8));
  return result;
}

TEST_P(EngineDifferential, AesEveryLengthBothDirections) {
  const EngineTier tier = GetParam();
  for (size_t len = 0; len <= kMaxLength; ++len) {
    const Bytes key = random_bytes(32), iv = random_bytes(16), data = random_bytes(len);
    const uint32_t bits = 128 + 64 * (len % 3);
    CAesKeyPair keys;
    ASSERT_EQ(CAesKeyInit(key.data(), 32, bits, &keys), 0);
    const size_t a = len % 61, b = (len * 7) % 64;
    const auto ecb_enc = both(tier, [&] { return run_aes(CAesEncrypt, data, a, b, keys); });
    const auto ecb_dec = both(tier, [&] { return run_aes(CAesDecrypt, data, a, b, keys); });
    const auto cbc_enc = both(tier, [&] { return run_cbc(true, false, data, iv, a, b, keys); });
    const auto cbc_dec = both(tier, [&] { return run_cbc(false, false, data, iv, a, b, keys); });
    const auto in_place = both(tier, [&] { return run_cbc(false, true, data, iv, a, b, keys); });
    ASSERT_EQ(ecb_enc.first, ecb_enc.second) << "ECB encrypt, length " << len << ", " << bits;
    ASSERT_EQ(ecb_dec.first, ecb_dec.second) << "ECB decrypt, length " << len << ", " << bits;
    ASSERT_EQ(cbc_enc.first, cbc_enc.second) << "CBC encrypt, length " << len << ", " << bits;
    ASSERT_EQ(cbc_dec.first, cbc_dec.second) << "CBC decrypt, length " << len << ", " << bits;
    ASSERT_EQ(in_place.first, in_place.second) << "CBC in place, length " << len << ", " << bits;
  }
}

TEST_P(EngineDifferential, AesSingleBlocks) {
  for (int n = 0; n < 3000; ++n) {
    const Bytes key = random_bytes(32), block = random_bytes(16);
    const int bits = 128 + 64 * (n % 3);
    CAES_schedule enc, dec;
    ASSERT_EQ(CAES_set_encrypt_key(key.data(), bits, &enc), 0);
    ASSERT_EQ(CAES_set_decrypt_key(key.data(), bits, &dec), 0);
    const auto e = both(GetParam(), [&] {
      Bytes out(16);
      CAES_encrypt(block.data(), out.data(), &enc);
      return out;
    });
    const auto d = both(GetParam(), [&] {
      Bytes out(block);
      CAES_decrypt(out.data(), out.data(), &dec);  // in place
      return out;
    });
    ASSERT_EQ(e.first, e.second) << n;
    ASSERT_EQ(d.first, d.second) << n;
  }
}

TEST_P(EngineDifferential, ShaAndHmacEveryLengthAndSplit) {
  for (size_t len = 0; len <= kMaxLength; ++len) {
    const Bytes data = random_bytes(len), key = random_bytes(len % 150);
    const size_t a = len % 63, split = len == 0 ? 0 : rng_() % (len + 1);
    Shifted in(len, a);
    if (len != 0) std::memcpy(in.data(), data.data(), len);
    const auto digests = both(GetParam(), [&] {
      Bytes out(32 + 28 + 32 + 32);
      csha256(in.data(), static_cast<uint32_t>(len), out.data());
      csha224(in.data(), static_cast<uint32_t>(len), out.data() + 32);
      csha256_ctx ctx;
      csha256_init(&ctx);
      csha256_update(&ctx, in.data(), static_cast<uint32_t>(split));
      csha256_update(&ctx, in.data() + split, static_cast<uint32_t>(len - split));
      csha256_final(&ctx, out.data() + 60);
      hmac_csha256(key.data(), static_cast<uint32_t>(key.size()), in.data(),
                   static_cast<uint32_t>(len), out.data() + 92, 32);
      return out;
    });
    ASSERT_EQ(digests.first, digests.second) << "length " << len << ", split " << split;
  }
}

TEST_P(EngineDifferential, CrcBothOrdersEveryLengthAndSplit) {
  for (size_t len = 0; len <= kMaxLength; ++len) {
    const Bytes data = random_bytes(len);
    Shifted in(len, len % 64);
    if (len != 0) std::memcpy(in.data(), data.data(), len);
    const uint32_t start = static_cast<uint32_t>(rng_());
    const size_t split = len == 0 ? 0 : rng_() % (len + 1);
    for (int32_t mode : {0, 1}) {
      const auto crcs = both(GetParam(), [&] {
        const uint32_t whole = GetCrc32(mode, start, in.data(), static_cast<uint32_t>(len));
        const uint32_t head = GetCrc32(mode, start, in.data(), static_cast<uint32_t>(split));
        const uint32_t parts =
            GetCrc32(mode, head, in.data() + split, static_cast<uint32_t>(len - split));
        return std::make_pair(whole, parts);
      });
      ASSERT_EQ(crcs.first, crcs.second) << "mode " << mode << ", length " << len;
      ASSERT_EQ(crcs.second.first, crcs.second.second) << "mode " << mode << ", split " << split;
    }
  }
}

TEST_P(EngineDifferential, Base64EveryLengthAndDamagedText) {
  const EngineTier tier = GetParam();
  for (size_t len = 0; len <= kMaxLength; ++len) {
    const Bytes data = random_bytes(len);
    Shifted in(len, len % 64);
    if (len != 0) std::memcpy(in.data(), data.data(), len);
    const size_t text_size = 4 * ((len + 2) / 3) + 1;
    const auto text = both(tier, [&] {
      std::vector<char> out(text_size);  // exact: any overrun is caught
      const int32_t n = ToBase64Simple(in.data(), static_cast<int32_t>(len), out.data(),
                                       static_cast<int32_t>(out.size()));
      return std::make_pair(n, out);
    });
    ASSERT_EQ(text.first, text.second) << "encode, length " << len;
    // Decoding: the text as it is, then with one character replaced by any
    // byte (refusals, '=' in every place, truncation by in_len).
    std::vector<char> damaged(text.first.second.begin(), text.first.second.end() - 1);
    for (int round = 0; round < 2; ++round) {
      if (round == 1 && !damaged.empty()) {
        damaged[rng_() % damaged.size()] = static_cast<char>(rng_() % 4 == 0 ? '=' : rng_());
      }
      const int32_t in_len = static_cast<int32_t>(damaged.size()) - (round == 1 && len % 5 == 0);
      const auto bytes = both(tier, [&] {
        Bytes out(3 * (damaged.size() / 4) + 1);
        const int32_t n = FromBase64Simple(damaged.data(), in_len, out.data(),
                                           static_cast<int32_t>(out.size()));
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return std::make_pair(n, out);
      });
      ASSERT_EQ(bytes.first, bytes.second) << "decode, length " << len << ", round " << round;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tiers, EngineDifferential,
                         testing::Values(EngineTier::kSse, EngineTier::kAvx2, EngineTier::kAvx512),
                         [](const testing::TestParamInfo<EngineTier> &tier) {
                           return std::string(quorvel::detail::engine_tier_name(tier.param));
                         });

}  // namespace
