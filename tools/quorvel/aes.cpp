// quorvel aes: AES-128/192/256 in ECB or CBC mode with PKCS #7 padding, in
// the byte format of "openssl enc -K ... -iv ..." (no header, no salt).
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel aes enc|dec -m ecb|cbc -K HEXKEY [-iv HEXIV] [-in FILE] [-out FILE]\n"
    "Encrypt or decrypt with AES and PKCS #7 padding; the key length picks AES-128,\n"
    "AES-192 or AES-256.  Reads standard input and writes standard output unless\n"
    "told otherwise.  The bytes are those of openssl enc -aes-N-cbc (or -ecb) given\n"
    "-K and -iv: no header and no salt.\n"
    "\n"
    "  -m, --mode MODE  ecb or cbc\n"
    "  -K HEXKEY        32, 48 or 64 hex digits (16, 24 or 32 bytes)\n"
    "  -iv HEXIV        32 hex digits, for cbc only\n"
    "  -in FILE         the input ('-' is standard input)\n"
    "  -out FILE        the output, written only once all of it is known\n"
    "Decryption checks the padding: a wrong key or a damaged input ends with\n"
    "\"bad decrypt\" and exit 1, and nothing is written.\n";

struct Request {
  bool encrypt, cbc;
  Buffer key, iv;
  const char *in, *out;
};

// The buffer functions refuse an empty message; its cipher text is the
// one block of padding, sixteen 0x10 (XORed with the IV in CBC).
int encrypt_empty(const Request &r, const CAesKeyPair &keys) {
  uint8_t block[16];
  for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(0x10 ^ (r.cbc ? r.iv.data()[i] : 0));
  CAES_encrypt(block, block, &keys.encrypt_schedule);
  return write_output(r.out, block, 16) ? kOk : kFailed;
}

int encrypt(const Request &r, const CAesKeyPair &keys, Buffer *data) {
  const size_t n = data->size(), total = (n / 16 + 1) * 16;
  if (n == 0) return encrypt_empty(r, keys);
  if (total > 0xffffffffu) {
    error("%s: too long to encrypt (4 GiB at most)", input_name(r.in));
    return kFailed;
  }
  data->resize(total);  // CBC pads in place
  Buffer out;
  out.resize(total);
  const auto n32 = static_cast<uint32_t>(n), total32 = static_cast<uint32_t>(total);
  const uint32_t written =
      r.cbc ? CAesCbcEncrypt(data->data(), n32, r.iv.data(), 16, out.data(), total32, &keys)
            : CAesEncrypt(data->data(), n32, out.data(), total32, &keys);
  if (written != total32) {
    error("encryption failed");
    return kFailed;
  }
  return write_output(r.out, out.data(), total) ? kOk : kFailed;
}

// The padding is all a decryption can vouch for: 1 to 16 bytes, each
// holding the pad length.
bool padding_ok(const Buffer &plain) {
  const size_t n = plain.size();
  const uint8_t pad = plain.data()[n - 1];
  if (pad == 0 || pad > 16) return false;
  for (size_t i = n - pad; i < n; ++i)
    if (plain.data()[i] != pad) return false;
  return true;
}

int decrypt(const Request &r, const CAesKeyPair &keys, const Buffer &data) {
  const size_t n = data.size();
  if (n == 0 || n % 16 != 0 || n > 0xfffffff0u) {
    error("bad decrypt: %s is not a whole number of 16-byte blocks", input_name(r.in));
    return kFailed;
  }
  Buffer plain;
  plain.resize(n);
  const auto n32 = static_cast<uint32_t>(n);
  const uint32_t length =
      r.cbc ? CAesCbcDecrypt(data.data(), n32, r.iv.data(), 16, plain.data(), n32, &keys)
            : CAesDecrypt(data.data(), n32, plain.data(), n32, &keys);
  if (!padding_ok(plain)) {
    error("bad decrypt (wrong key or damaged input)");
    return kFailed;
  }
  return write_output(r.out, plain.data(), length) ? kOk : kFailed;
}

// Checks the command line into r; returns kOk or a usage error.
int read_request(int operands, char **argv, const char *mode, const char *key, const char *iv,
                 Request *r) {
  if (operands != 1) return usage("give enc or dec");
  r->encrypt = std::strcmp(argv[1], "enc") == 0;
  if (!r->encrypt && std::strcmp(argv[1], "dec") != 0)
    return usage("'%s' is neither enc nor dec", argv[1]);
  if (mode == nullptr) return usage("give a mode: -m ecb or -m cbc");
  r->cbc = std::strcmp(mode, "cbc") == 0;
  if (!r->cbc && std::strcmp(mode, "ecb") != 0) return usage("unknown mode '%s'", mode);
  if (key == nullptr) return usage("give a key: -K HEXKEY");
  if (!parse_hex(key, &r->key) ||
      (r->key.size() != 16 && r->key.size() != 24 && r->key.size() != 32))
    return usage("-K wants 32, 48 or 64 hex digits (AES-128, -192 or -256)");
  if (r->cbc && iv == nullptr) return usage("cbc needs an IV: -iv HEXIV");
  if (!r->cbc && iv != nullptr) return usage("ecb takes no IV");
  if (r->cbc && (!parse_hex(iv, &r->iv) || r->iv.size() != 16))
    return usage("-iv wants 32 hex digits");
  return kOk;
}

}  // namespace

int run_aes(int argc, char **argv) {
  const char *mode = nullptr, *key = nullptr, *iv = nullptr;
  Request r;
  r.in = r.out = nullptr;
  const Option options[] = {{"-m", "--mode", &mode, nullptr},
                            {"-K", "--key", &key, nullptr},
                            {"-iv", "--iv", &iv, nullptr},
                            {"-in", "--in", &r.in, nullptr},
                            {"-out", "--out", &r.out, nullptr}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, sizeof options / sizeof options[0], &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (const int code = read_request(operands, argv, mode, key, iv, &r); code != kOk) return code;
  CAesKeyPair keys;
  const auto bytes = static_cast<uint32_t>(r.key.size());
  if (CAesKeyInit(r.key.data(), bytes, bytes * 8, &keys) != 0) {
    error("the key was refused");
    return kFailed;
  }
  Buffer data;
  if (!read_all(r.in, &data)) return kFailed;
  return r.encrypt ? encrypt(r, keys, &data) : decrypt(r, keys, data);
}

}  // namespace qcli
