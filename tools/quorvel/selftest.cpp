// quorvel selftest: every primitive against its published vectors (FIPS 197,
// NIST SP 800-38A, FIPS 180, RFC 4231, RFC 1321, the CRC catalogue's check
// values, RFC 4648 and the MurmurHash3 verification values), one line each.
#include <bit>
#include <cstring>
#include <initializer_list>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel selftest\n"
    "Check every primitive against its published vectors: AES-128/192/256 (FIPS 197,\n"
    "SP 800-38A ECB and CBC), SHA-224 and SHA-256 (FIPS 180), HMAC (RFC 4231),\n"
    "MD5 (RFC 1321), CRC-32 both ways (check values of \"123456789\"), Base64 and hex\n"
    "(RFC 4648) and MurmurHash3 (its verification values).  One line per\n"
    "algorithm, \"NAME: ok\" or \"NAME: FAILED\"; exit 1 when any failed.\n";

const uint8_t *bytes(const char *s) {
  return reinterpret_cast<const uint8_t *>(s);
}
uint32_t len32(const char *s) {
  return static_cast<uint32_t>(std::strlen(s));
}

bool hex_is(const uint8_t *data, size_t n, const char *want) {
  char hex[2 * 256 + 1];
  if (n > 256) return false;
  to_hex(data, n, hex);
  return std::strcmp(hex, want) == 0;
}

// Bytes of a hex literal; the vectors below are well-formed.
struct Hex {
  explicit Hex(const char *text) { parse_hex(text, &buf); }
  const uint8_t *data() const { return buf.data(); }
  uint32_t size() const { return static_cast<uint32_t>(buf.size()); }
  Buffer buf;
};

const char kNistPlain[] =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";

// FIPS 197 appendix C (key 00 01 02 ...) and SP 800-38A F.1 and F.2.
bool aes(int k) {
  static const struct {
    const char *fips_key, *fips_cipher, *nist_key, *ecb, *cbc;
  } v[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a",
       "2b7e151628aed2a6abf7158809cf4f3c",
       "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
       "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4",
       "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
       "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191",
       "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
       "bd334f1d6e45f25ff712a214571fa5cc974104846d0ad3ad7734ecb3ecee4eef"
       "ef7afd2270e2e60adce0ba2face6444e9a4b41ba738d6c72fb16691603c18e0e",
       "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
       "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8ea2b7ca516745bfeafc49904b496089",
       "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870"
       "b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7",
       "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
       "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
  };
  const int bits = 128 + 64 * k;
  const Hex fips_key(v[k].fips_key), block("00112233445566778899aabbccddeeff");
  CAES_schedule enc, dec;
  uint8_t out[16], back[16];
  if (CAES_set_encrypt_key(fips_key.data(), bits, &enc) != 0 ||
      CAES_set_decrypt_key(fips_key.data(), bits, &dec) != 0)
    return false;
  CAES_encrypt(block.data(), out, &enc);
  CAES_decrypt(out, back, &dec);
  bool ok = hex_is(out, 16, v[k].fips_cipher) && std::memcmp(back, block.data(), 16) == 0;

  const Hex key(v[k].nist_key), plain(kNistPlain), iv("000102030405060708090a0b0c0d0e0f");
  CAesKeyPair keys;
  ok = ok && CAesKeyInit(key.data(), key.size(), static_cast<uint32_t>(bits), &keys) == 0;
  for (bool cbc : {false, true}) {
    uint8_t in[80], cipher[80], again[80];
    std::memcpy(in, plain.data(), 64);
    const uint32_t n = cbc ? CAesCbcEncrypt(in, 64, iv.data(), 16, cipher, 80, &keys)
                           : CAesEncrypt(in, 64, cipher, 80, &keys);
    const uint32_t m = cbc ? CAesCbcDecrypt(cipher, 80, iv.data(), 16, again, 80, &keys)
                           : CAesDecrypt(cipher, 80, again, 80, &keys);
    ok = ok && n == 80 && hex_is(cipher, 64, cbc ? v[k].cbc : v[k].ecb) && m == 64 &&
         std::memcmp(again, plain.data(), 64) == 0;
  }
  return ok;
}

// FIPS 180-4 examples and the long messages of the SHA test suite.
bool sha(bool is224) {
  static const struct {
    const char *msg;
    uint32_t repeat;
    const char *sha256, *sha224;
  } v[] = {
      {"abc", 1, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
       "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
       "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
       "lmnopqrsmnopqrstnopqrstu",
       1, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
       "c97ca9a559850ce97a04a96def6d99a9e0e0e2ab14e6b8df265fc0b3"},
      {"", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
       "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f"},
      {"a", 1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
       "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67"},
  };
  bool ok = true;
  for (const auto &c : v) {
    // The one-shot call, then the streaming context fed one repeat at a time.
    Buffer whole;
    for (uint32_t i = 0; i < c.repeat; ++i) whole.append(c.msg, std::strlen(c.msg));
    uint8_t d1[32], d2[32];
    (is224 ? csha224 : csha256)(whole.data(), static_cast<uint32_t>(whole.size()), d1);
    csha256_ctx ctx;
    is224 ? csha224_init(&ctx) : csha256_init(&ctx);
    for (uint32_t i = 0; i < c.repeat; ++i)
      (is224 ? csha224_update : csha256_update)(&ctx, bytes(c.msg), len32(c.msg));
    (is224 ? csha224_final : csha256_final)(&ctx, d2);
    const size_t n = is224 ? 28 : 32;
    ok = ok && hex_is(d1, n, is224 ? c.sha224 : c.sha256) && std::memcmp(d1, d2, n) == 0;
  }
  return ok;
}

// RFC 4231 test cases 1 to 7 (case 5 truncated to 128 bits).
bool hmac(bool is224) {
  static const struct {
    const char *key, *data, *mac224, *mac256;
  } v[] = {
      {"0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b", "4869205468657265",
       "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"4a656665", "7768617420646f2079612077616e7420666f72206e6f7468696e673f",
       "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       "dddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd"
       "dddddddddddddddd",
       "7fb3cb3588c6c1f6ffa9694d7d6ad2649365b0c1f65d69d1ec8333ea",
       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {"0102030405060708090a0b0c0d0e0f10111213141516171819",
       "cdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcd"
       "cdcdcdcdcdcdcdcd",
       "6c11506874013cac6a2abc1bb382627cec6a90d86efc012de7afec5a",
       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {"0c0c0c0c0c0c0c0c0c0c0c0c0c0c0c0c0c0c0c0c", "546573742057697468205472756e636174696f6e",
       "0e2aea68a90c8d37c988bcdb9fca6fa8", "a3b6167473100ee06e0c796c2955552b"},
      {nullptr,
       "54657374205573696e67204c6172676572205468616e20426c6f636b2d53697a65204b6579202d"
       "2048617368204b6579204669727374",
       "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {nullptr,
       "5468697320697320612074657374207573696e672061206c6172676572207468616e20626c6f63"
       "6b2d73697a65206b657920616e642061206c6172676572207468616e20626c6f636b2d73697a6520"
       "646174612e20546865206b6579206e6565647320746f20626520686173686564206265666f726520"
       "6265696e6720757365642062792074686520484d414320616c676f726974686d2e",
       "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  Buffer long_key;  // cases 6 and 7: 131 bytes of 0xaa, longer than a block
  for (int i = 0; i < 131; ++i) long_key.push(0xaa);
  bool ok = true;
  for (const auto &c : v) {
    const Hex key(c.key ? c.key : "00"), data(c.data);
    const uint8_t *k = c.key ? key.data() : long_key.data();
    const auto k_len = static_cast<uint32_t>(c.key ? key.size() : long_key.size());
    const char *want = is224 ? c.mac224 : c.mac256;
    const uint32_t n = len32(want) / 2;
    uint8_t mac[32];
    (is224 ? hmac_csha224 : hmac_csha256)(k, k_len, data.data(), data.size(), mac, n);
    ok = ok && hex_is(mac, n, want);
  }
  return ok;
}

bool md5() {
  static const char *const v[][2] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  bool ok = true;
  for (const auto &c : v) {
    QRVL_MD5_CTX ctx;
    uint8_t d[16];
    QRVL_MD5Init(&ctx);
    QRVL_MD5Update(&ctx, bytes(c[0]), len32(c[0]));
    QRVL_MD5Final(d, &ctx);
    ok = ok && hex_is(d, 16, c[1]);
  }
  return ok;
}

// The catalogue's check values: the CRC of "123456789", whole and in pieces.
bool crc(int32_t mode, uint32_t check) {
  const uint8_t *digits = bytes("123456789");
  const uint32_t whole = GetCrc32(mode, 0xffffffffu, digits, 9);
  const uint32_t pieces = GetCrc32(mode, GetCrc32(mode, 0xffffffffu, digits, 4), digits + 4, 5);
  return (whole ^ 0xffffffffu) == check && pieces == whole;
}

// RFC 4648 sections 10 (Base64 and Base16).
const char *const kRfc4648[][3] = {{"f", "Zg==", "66"},
                                   {"fo", "Zm8=", "666F"},
                                   {"foo", "Zm9v", "666F6F"},
                                   {"foob", "Zm9vYg==", "666F6F62"},
                                   {"fooba", "Zm9vYmE=", "666F6F6261"},
                                   {"foobar", "Zm9vYmFy", "666F6F626172"}};

bool base64() {
  bool ok = true;
  for (const auto &c : kRfc4648) {
    char text[16];
    uint8_t back[16];
    const auto n = static_cast<int32_t>(len32(c[0])), chars = static_cast<int32_t>(len32(c[1]));
    ok = ok && ToBase64Simple(bytes(c[0]), n, text, sizeof text) == chars &&
         std::strcmp(text, c[1]) == 0 && FromBase64Simple(c[1], chars, back, sizeof back) == n &&
         std::memcmp(back, c[0], static_cast<size_t>(n)) == 0;
  }
  return ok;
}

bool hex() {
  bool ok = true;
  for (const auto &c : kRfc4648) {
    char text[16], lower[16];
    uint8_t back[16];
    const auto n = static_cast<int32_t>(len32(c[0])), digits = static_cast<int32_t>(len32(c[2]));
    for (int32_t i = 0; i <= digits; ++i)
      lower[i] = static_cast<char>(c[2][i] >= 'A' && c[2][i] <= 'F' ? c[2][i] + 32 : c[2][i]);
    ok = ok && mmData2HexString(bytes(c[0]), n, text, sizeof text) == digits &&
         std::strcmp(text, lower) == 0 && mmHexString2Data(c[2], digits, back, sizeof back) == n &&
         std::memcmp(back, c[0], static_cast<size_t>(n)) == 0;
  }
  return ok;
}

// The results are native words; the published values were taken on a
// little-endian host, so words are put in that order first.
void words_little_endian(uint8_t *p, size_t n, size_t word) {
  if (std::endian::native == std::endian::little) return;
  for (size_t i = 0; i < n; i += word)
    for (size_t a = i, b = i + word - 1; a < b; ++a, --b) {
      const uint8_t t = p[a];
      p[a] = p[b], p[b] = t;
    }
}

// The published self-check: hash keys 0..i-1 with seed 256 - i, then the
// 256 results with seed 0; the first four bytes, little-endian.
using Murmur = void (*)(const void *, int32_t, uint32_t, void *);
bool murmur(Murmur hash, size_t size, size_t word, uint32_t want) {
  uint8_t key[256], all[256 * 16], final[16];
  for (int i = 0; i < 256; ++i) {
    key[i] = static_cast<uint8_t>(i);
    hash(key, i, static_cast<uint32_t>(256 - i), all + static_cast<size_t>(i) * size);
  }
  words_little_endian(all, 256 * size, word);
  hash(all, static_cast<int32_t>(256 * size), 0, final);
  words_little_endian(final, size, word);
  const uint32_t got = uint32_t{final[0]} | uint32_t{final[1]} << 8 | uint32_t{final[2]} << 16 |
                       uint32_t{final[3]} << 24;
  return got == want;
}

bool murmur32() {
  const char *fox = "The quick brown fox jumps over the lazy dog";
  uint32_t h = 0;
  MurmurHash3_x86_32(fox, static_cast<int32_t>(len32(fox)), 0x9747b28cu, &h);
  return murmur(MurmurHash3_x86_32, 4, 4, 0xB0F57EE3u) && h == 0x2FA826CDu;
}

const struct {
  const char *name;
  bool (*check)();
} kChecks[] = {
    {"aes-128", [] { return aes(0); }},
    {"aes-192", [] { return aes(1); }},
    {"aes-256", [] { return aes(2); }},
    {"sha224", [] { return sha(true); }},
    {"sha256", [] { return sha(false); }},
    {"hmac-sha224", [] { return hmac(true); }},
    {"hmac-sha256", [] { return hmac(false); }},
    {"md5", md5},
    {"crc32", [] { return crc(1, 0xCBF43926u); }},
    {"crc32-msb", [] { return crc(0, 0xFC891918u); }},
    {"base64", base64},
    {"hex", hex},
    {"murmur32", murmur32},
    {"murmur128", [] { return murmur(MurmurHash3_x64_128, 16, 8, 0x6384BA69u); }},
    {"murmur128-x86", [] { return murmur(MurmurHash3_x86_128, 16, 4, 0xB3ECE62Au); }},
};

}  // namespace

int run_selftest(int argc, char **argv) {
  int operands = 0;
  const Parsed parsed = parse(argc, argv, nullptr, 0, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands != 0) return usage("takes no operands");
  int code = kOk;
  for (const auto &c : kChecks) {
    const bool ok = c.check();
    print("%s: %s\n", c.name, ok ? "ok" : "FAILED");
    code = ok ? code : kFailed;
  }
  return code;
}

}  // namespace qcli
