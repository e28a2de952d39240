// AES against OpenSSL on every engine this processor runs: single blocks
// under each key size, then ECB and CBC with PKCS #7 padding under keys of
// any length (cut or repeated to the AES key as documented) and IVs of any
// length.  Outputs go to heap blocks of exactly the size handed over.
#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/engine_tier.hpp"
#include "quorvel/crypto.h"
#include "fuzz_check.hpp"

namespace {

using Bytes = std::vector<uint8_t>;
using quorvel::detail::EngineTier;

const EVP_CIPHER *cipher(uint32_t bits, bool cbc) {
  switch (bits) {
    case 192: return cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb();
    case 256: return cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
    default: return cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
  }
}

// OpenSSL's result of one whole operation.
Bytes openssl(bool encrypt, uint32_t bits, bool cbc, bool pad, const uint8_t *key,
              const uint8_t *iv, const Bytes &in) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  check(EVP_CipherInit_ex(ctx, cipher(bits, cbc), nullptr, key, iv, encrypt ? 1 : 0) == 1);
  EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
  Bytes out(in.size() + 16);
  int n = 0, tail = 0;
  check(EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1);
  check(EVP_CipherFinal_ex(ctx, out.data() + n, &tail) == 1);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(n + tail));
  return out;
}

// The AES key CAesKeyInit makes of key_len bytes: cut, or repeated from
// the first byte.
Bytes expand_key(const Bytes &key, uint32_t bits) {
  Bytes k(bits / 8);
  for (size_t i = 0; i < k.size(); ++i) k[i] = key[i % key.size()];
  return k;
}

Bytes working_iv(const Bytes &iv) {
  Bytes v(16);
  for (size_t i = 0; i < 16; ++i) v[i] = iv[i % iv.size()];
  return v;
}

// The documented length of a decryption: whole - last byte, or 0.
uint32_t plain_length(const Bytes &plain) {
  const auto whole = static_cast<uint32_t>(plain.size());
  const uint32_t v = plain.empty() ? 0 : plain.back();
  return v < whole ? whole - v : 0;
}

void blocks(FuzzedDataProvider &in) {
  const uint32_t bits = 128 + 64 * in.ConsumeIntegralInRange<uint32_t>(0, 2);
  const Bytes key = in.ConsumeBytes<uint8_t>(32);
  if (key.size() < bits / 8) return;
  Bytes data = in.ConsumeBytes<uint8_t>(16 * in.ConsumeIntegralInRange<size_t>(1, 4));
  data.resize(data.size() / 16 * 16);
  if (data.empty()) return;
  CAES_schedule enc, dec;
  check(CAES_set_encrypt_key(key.data(), static_cast<int32_t>(bits), &enc) == 0);
  check(CAES_set_decrypt_key(key.data(), static_cast<int32_t>(bits), &dec) == 0);
  Bytes mine = data;
  for (size_t i = 0; i < mine.size(); i += 16) CAES_encrypt(&mine[i], &mine[i], &enc);
  check(mine == openssl(true, bits, false, false, key.data(), nullptr, data));
  for (size_t i = 0; i < mine.size(); i += 16) CAES_decrypt(&mine[i], &mine[i], &dec);
  check(mine == data);
}

void modes(FuzzedDataProvider &in) {
  const uint32_t key_bits = in.PickValueInArray<uint32_t>({128, 192, 256, 0, 100});
  const uint32_t bits = key_bits == 192 || key_bits == 256 ? key_bits : 128;
  const Bytes key = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 40));
  const Bytes iv = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 20));
  const bool cbc = in.ConsumeBool();
  const Bytes message = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 200));
  if (key.empty() || iv.empty() || message.empty()) return;
  CAesKeyPair keys;
  check(CAesKeyInit(key.data(), static_cast<uint32_t>(key.size()), key_bits, &keys) == 0);
  const Bytes aes_key = expand_key(key, bits), v = working_iv(iv);
  const auto len = static_cast<uint32_t>(message.size());
  const uint32_t total = (len / 16 + 1) * 16;

  // Encryption: exactly the total fits, one byte less writes nothing.
  auto *input = static_cast<uint8_t *>(std::malloc(total));
  auto *out = static_cast<uint8_t *>(std::malloc(total));
  std::memcpy(input, message.data(), len);
  std::memset(out, 0xa5, total);
  const auto ivl = static_cast<uint32_t>(iv.size());
  auto encrypt = [&](uint32_t size) {
    return cbc ? CAesCbcEncrypt(input, len, iv.data(), ivl, out, size, &keys)
               : CAesEncrypt(input, len, out, size, &keys);
  };
  check(encrypt(total - 1) == 0);
  for (uint32_t i = 0; i < total; ++i) check(out[i] == 0xa5);
  check(encrypt(total) == total);
  const Bytes expected = openssl(true, bits, cbc, true, aes_key.data(), v.data(), message);
  check(Bytes(out, out + total) == expected);

  // Decryption of our own text, then of the input taken as a cipher text.
  auto decrypt = [&](const uint8_t *from, uint32_t n, uint8_t *to, uint32_t size) {
    return cbc ? CAesCbcDecrypt(from, n, iv.data(), ivl, to, size, &keys)
               : CAesDecrypt(from, n, to, size, &keys);
  };
  auto *plain = static_cast<uint8_t *>(std::malloc(total));
  check(decrypt(out, total, plain, total) == len && std::memcmp(plain, message.data(), len) == 0);
  const uint32_t whole = len / 16 * 16;
  if (whole > 0) {
    check(decrypt(message.data(), len, plain, whole - 1) == 0);
    const Bytes blocks_in(message.begin(), message.begin() + whole);
    const Bytes clear = openssl(false, bits, cbc, false, aes_key.data(), v.data(), blocks_in);
    check(decrypt(message.data(), len, plain, whole) == plain_length(clear));
    check(Bytes(plain, plain + whole) == clear);
  }
  std::free(plain);
  std::free(out);
  std::free(input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int top = static_cast<int>(quorvel::detail::cpu_engine_tier());
  check(quorvel::detail::set_engine_tier(static_cast<EngineTier>(in.ConsumeIntegralInRange(0, top))));
  if (in.ConsumeBool()) blocks(in);
  else modes(in);
  return 0;
}
