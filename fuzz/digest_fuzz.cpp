// SHA-256, SHA-224, their HMACs and MD5 against OpenSSL, and CRC-32
// against zlib, on every engine this processor runs.  Messages are fed in
// random pieces, contexts are copied part way (a copy is documented to be
// independent), and digests and MACs go to heap blocks of exactly their
// size.
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/engine_tier.hpp"
#include "quorvel/crypto.h"
#include "fuzz_check.hpp"

namespace {

using Bytes = std::vector<uint8_t>;
using quorvel::detail::EngineTier;

Bytes openssl_digest(const EVP_MD *md, const uint8_t *p, size_t n) {
  Bytes d(EVP_MAX_MD_SIZE);
  unsigned int len = 0;
  check(EVP_Digest(p, n, d.data(), &len, md, nullptr) == 1);
  d.resize(len);
  return d;
}

// The cut points of one message: ascending offsets ending at its size.
std::vector<size_t> pieces(FuzzedDataProvider &in, size_t size) {
  std::vector<size_t> cuts;
  size_t at = 0;
  while (at < size && cuts.size() < 8) {
    at += in.ConsumeIntegralInRange<size_t>(0, size - at);
    cuts.push_back(at);
  }
  cuts.push_back(size);
  return cuts;
}

// A digest of `size` bytes written into a block of exactly that size.
template <typename Final>
Bytes finish(size_t size, Final final) {
  auto *out = static_cast<uint8_t *>(std::malloc(size));
  final(out);
  Bytes d(out, out + size);
  std::free(out);
  return d;
}

void sha(const Bytes &m, const std::vector<size_t> &cuts, bool is224) {
  const size_t dsize = is224 ? 28 : 32;
  const EVP_MD *md = is224 ? EVP_sha224() : EVP_sha256();
  csha256_ctx ctx, copy;
  is224 ? csha224_init(&ctx) : csha256_init(&ctx);
  size_t done = 0, copied_at = 0;
  for (size_t cut : cuts) {
    csha256_update(&ctx, m.data() + done, static_cast<uint32_t>(cut - done));
    done = cut;
    if (copied_at == 0 && cut != 0 && cut != m.size()) {
      std::memcpy(&copy, &ctx, sizeof ctx);
      copied_at = cut;
    }
  }
  auto final = [&](csha256_ctx *c) {
    return finish(dsize, [&](uint8_t *o) { is224 ? csha224_final(c, o) : csha256_final(c, o); });
  };
  check(final(&ctx) == openssl_digest(md, m.data(), m.size()));
  if (copied_at != 0) check(final(&copy) == openssl_digest(md, m.data(), copied_at));
  const Bytes once = finish(dsize, [&](uint8_t *o) {
    (is224 ? csha224 : csha256)(m.data(), static_cast<uint32_t>(m.size()), o);
  });
  check(once == openssl_digest(md, m.data(), m.size()));
}

void hmac(FuzzedDataProvider &in, const Bytes &m, const std::vector<size_t> &cuts, bool is224) {
  const Bytes key = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 150));
  const uint32_t mac_size = in.ConsumeIntegralInRange<uint32_t>(0, 40);
  const size_t full = is224 ? 28 : 32;
  const size_t written = mac_size < full ? mac_size : full;
  Bytes expected(EVP_MAX_MD_SIZE);
  unsigned int len = 0;
  // OpenSSL takes a NULL key as "the key of the last call": never pass one.
  const uint8_t no_key = 0;
  check(HMAC(is224 ? EVP_sha224() : EVP_sha256(), key.empty() ? &no_key : key.data(),
             static_cast<int>(key.size()), m.data(), m.size(), expected.data(), &len) != nullptr);
  expected.resize(written);

  hmac_csha256_ctx ctx;
  const auto ks = static_cast<uint32_t>(key.size());
  const uint8_t *k = key.empty() ? nullptr : key.data();
  is224 ? hmac_csha224_init(&ctx, k, ks) : hmac_csha256_init(&ctx, k, ks);
  for (int round = 0; round < 2; ++round) {  // the second after a reinit
    size_t done = 0;
    for (size_t cut : cuts) {
      hmac_csha256_update(&ctx, m.data() + done, static_cast<uint32_t>(cut - done));
      done = cut;
    }
    check(finish(written, [&](uint8_t *o) {
            is224 ? hmac_csha224_final(&ctx, o, mac_size) : hmac_csha256_final(&ctx, o, mac_size);
          }) == expected);
    hmac_csha256_reinit(&ctx);
  }
  check(finish(written, [&](uint8_t *o) {
          (is224 ? hmac_csha224 : hmac_csha256)(k, ks, m.data(), static_cast<uint32_t>(m.size()),
                                                o, mac_size);
        }) == expected);
}

void md5(const Bytes &m, const std::vector<size_t> &cuts) {
  QRVL_MD5_CTX ctx;
  QRVL_MD5Init(&ctx);
  size_t done = 0;
  for (size_t cut : cuts) {
    QRVL_MD5Update(&ctx, m.data() + done, static_cast<uint32_t>(cut - done));
    done = cut;
  }
  check(finish(16, [&](uint8_t *o) { QRVL_MD5Final(o, &ctx); }) ==
        openssl_digest(EVP_md5(), m.data(), m.size()));
  const auto *bytes = reinterpret_cast<const uint8_t *>(&ctx);
  for (size_t i = 0; i < sizeof ctx; ++i) check(bytes[i] == 0);
}

// The register of mode 0, most significant bit first, one bit at a time.
uint32_t crc_msb_first(uint32_t crc, const uint8_t *p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= uint32_t{p[i]} << 24;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

void crc(FuzzedDataProvider &in, const Bytes &m, const std::vector<size_t> &cuts) {
  const uint32_t start = in.ConsumeIntegral<uint32_t>();
  uint32_t r0 = start, r1 = 0xFFFFFFFFu, r2 = start;
  size_t done = 0;
  for (size_t cut : cuts) {
    const uint8_t *p = m.data() + done;
    const auto n = static_cast<uint32_t>(cut - done);
    r0 = GetCrc32(0, r0, p, n);
    r1 = GetCrc32(1, r1, p, n);
    r2 = GetCrc32(2, r2, p, n);
    done = cut;
  }
  check(r0 == crc_msb_first(start, m.data(), m.size()));
  check((r1 ^ 0xFFFFFFFFu) == crc32(0, m.data(), static_cast<uInt>(m.size())));
  uint32_t sum = start;
  for (uint8_t b : m) sum += b;
  check(r2 == sum);
  check(GetCrc32(3, start, nullptr, 5) == start && GetCrc32(1, start, m.data(), 0) == start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int top = static_cast<int>(quorvel::detail::cpu_engine_tier());
  check(quorvel::detail::set_engine_tier(static_cast<EngineTier>(in.ConsumeIntegralInRange(0, top))));
  const int which = in.ConsumeIntegralInRange(0, 5);
  const Bytes m = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 1100));
  const std::vector<size_t> cuts = pieces(in, m.size());
  switch (which) {
    case 0: sha(m, cuts, false); break;
    case 1: sha(m, cuts, true); break;
    case 2: hmac(in, m, cuts, false); break;
    case 3: hmac(in, m, cuts, true); break;
    case 4: md5(m, cuts); break;
    default: crc(in, m, cuts);
  }
  return 0;
}
