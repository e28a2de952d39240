// AES over whole buffers: key preparation, ECB and CBC with PKCS #7 padding.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/aes.hpp"
#include "quorvel/crypto.h"

namespace {

using quorvel::detail::aes_engine;
using quorvel::detail::aes_rounds_valid;

constexpr uint32_t kBlock = 16;

// (len / 16 + 1) * 16, or 0 when it does not fit the 32-bit result.
uint32_t padded_total(uint32_t in_len) {
  const uint64_t total = (uint64_t{in_len} / kBlock + 1) * kBlock;
  return total > UINT32_MAX ? 0 : static_cast<uint32_t>(total);
}

// The plain length carried by the last decrypted byte; no other check.
uint32_t unpadded_length(const uint8_t *out, uint32_t whole) {
  const uint32_t v = out[whole - 1];
  return v < whole ? whole - v : 0;
}

// A short IV repeats from its first byte: byte j is iv[j mod iv_len].
void working_iv(const uint8_t *iv, uint32_t iv_len, uint8_t work[kBlock]) {
  if (iv_len >= kBlock) {
    std::memcpy(work, iv, kBlock);
    return;
  }
  for (uint32_t j = 0; j < kBlock; ++j) work[j] = iv[j % iv_len];
}

// A pair never filled by CAesKeyInit is refused rather than run past its
// round keys.
bool usable(const CAesKeyPair *keys, const CAES_schedule CAesKeyPair::*which) {
  return keys != nullptr && aes_rounds_valid((keys->*which).rounds);
}

}  // namespace

extern "C" int32_t CAesKeyInit(const uint8_t *key, uint32_t key_len, uint32_t key_bits,
                               CAesKeyPair *keys) {
  if (key_bits != 128 && key_bits != 192 && key_bits != 256) key_bits = 128;
  if (key == nullptr || keys == nullptr || key_len == 0) return -1;
  const uint32_t need = key_bits / 8;
  uint8_t work[32];
  const uint8_t *aes_key = key;
  if (key_len < need) {
    for (uint32_t j = 0; j < need; ++j) work[j] = key[j % key_len];
    aes_key = work;
  }
  const auto bits = static_cast<int32_t>(key_bits);
  CAES_set_encrypt_key(aes_key, bits, &keys->encrypt_schedule);
  CAES_set_decrypt_key(aes_key, bits, &keys->decrypt_schedule);
  return 0;
}

extern "C" uint32_t CAesEncrypt(const uint8_t *in, uint32_t in_len, uint8_t *out,
                                uint32_t out_size, const CAesKeyPair *keys) {
  const uint32_t total = padded_total(in_len);
  if (total == 0 || out_size < total || in_len == 0 || in == nullptr || out == nullptr ||
      !usable(keys, &CAesKeyPair::encrypt_schedule)) {
    return 0;
  }
  const CAES_schedule *schedule = &keys->encrypt_schedule;
  const uint32_t whole = total - kBlock;
  aes_engine().encrypt_blocks(schedule, in, out, whole / kBlock);
  const uint32_t rest = in_len - whole;
  uint8_t last[kBlock];
  if (rest != 0) std::memcpy(last, in + whole, rest);
  std::memset(last + rest, static_cast<int>(kBlock - rest), kBlock - rest);
  aes_engine().encrypt_blocks(schedule, last, out + whole, 1);
  return total;
}

extern "C" uint32_t CAesDecrypt(const uint8_t *in, uint32_t in_len, uint8_t *out,
                                uint32_t out_size, const CAesKeyPair *keys) {
  const uint32_t whole = in_len - in_len % kBlock;
  if (out_size < whole || whole == 0 || out == nullptr || in == nullptr ||
      !usable(keys, &CAesKeyPair::decrypt_schedule)) {
    return 0;
  }
  aes_engine().decrypt_blocks(&keys->decrypt_schedule, in, out, whole / kBlock);
  return unpadded_length(out, whole);
}

extern "C" uint32_t CAesCbcEncrypt(uint8_t *in, uint32_t in_len, const uint8_t *iv,
                                   uint32_t iv_len, uint8_t *out, uint32_t out_size,
                                   const CAesKeyPair *keys) {
  const uint32_t total = padded_total(in_len);
  if (total == 0 || out_size < total || in_len == 0 || in == nullptr || out == nullptr ||
      iv == nullptr || iv_len == 0 || !usable(keys, &CAesKeyPair::encrypt_schedule)) {
    return 0;
  }
  uint8_t chain[kBlock];
  working_iv(iv, iv_len, chain);
  std::memset(in + in_len, static_cast<int>(total - in_len), total - in_len);
  aes_engine().cbc_encrypt(&keys->encrypt_schedule, chain, in, out, total / kBlock);
  return total;
}

extern "C" uint32_t CAesCbcDecrypt(const uint8_t *in, uint32_t in_len, const uint8_t *iv,
                                   uint32_t iv_len, uint8_t *out, uint32_t out_size,
                                   const CAesKeyPair *keys) {
  const uint32_t whole = in_len - in_len % kBlock;
  if (out_size < whole || whole == 0 || in == nullptr || out == nullptr || iv == nullptr ||
      iv_len == 0 || !usable(keys, &CAesKeyPair::decrypt_schedule)) {
    return 0;
  }
  uint8_t chain[kBlock];
  working_iv(iv, iv_len, chain);
  aes_engine().cbc_decrypt(&keys->decrypt_schedule, chain, in, out, whole / kBlock);
  return unpadded_length(out, whole);
}
