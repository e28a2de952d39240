// quorvel hmac: HMAC-SHA-256 and HMAC-SHA-224 of files under one key.
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"
#include "digest.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel hmac sha256|sha224 (-k KEY | -K HEXKEY) [-c] [--quiet] [FILE...]\n"
    "Print or check the HMAC of each FILE (standard input when none or '-') in the\n"
    "format of sha256sum: \"<hex>  <name>\".\n"
    "\n"
    "  -k KEY       the key as text, its bytes as given\n"
    "  -K HEXKEY    the key in hex (an even number of digits)\n"
    "  -c, --check  check lines of that format read from the FILEs\n"
    "      --quiet  with -c, leave out the OK lines\n"
    "Inputs must be below 512 MiB.\n";

const DigestAlgo kAlgos[] = {
    {"sha256", 32, (uint64_t{1} << 29) - 65,  // the inner hash also counts the key block
     [](Hasher *h) {
       hmac_csha256_init(&h->state.hmac, h->key.data(), static_cast<uint32_t>(h->key.size()));
     },
     [](Hasher *h, const uint8_t *p, uint32_t n) { hmac_csha256_update(&h->state.hmac, p, n); },
     [](Hasher *h, uint8_t *d) { hmac_csha256_final(&h->state.hmac, d, 32); }},
    {"sha224", 28, (uint64_t{1} << 29) - 65,
     [](Hasher *h) {
       hmac_csha224_init(&h->state.hmac, h->key.data(), static_cast<uint32_t>(h->key.size()));
     },
     [](Hasher *h, const uint8_t *p, uint32_t n) { hmac_csha224_update(&h->state.hmac, p, n); },
     [](Hasher *h, uint8_t *d) { hmac_csha224_final(&h->state.hmac, d, 28); }},
};

}  // namespace

int run_hmac(int argc, char **argv) {
  const char *text_key = nullptr, *hex_key = nullptr;
  bool check = false, quiet = false;
  const Option options[] = {{"-k", "--key", &text_key, nullptr},
                            {"-K", "--hex-key", &hex_key, nullptr},
                            {"-c", "--check", nullptr, &check},
                            {nullptr, "--quiet", nullptr, &quiet}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, sizeof options / sizeof options[0], &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands == 0) return usage("which algorithm? (sha256 or sha224)");
  const DigestAlgo *algo = find_algo(kAlgos, sizeof kAlgos / sizeof kAlgos[0], argv[1]);
  if (algo == nullptr) return usage("unknown algorithm '%s'", argv[1]);
  if ((text_key == nullptr) == (hex_key == nullptr)) return usage("give one key: -k or -K");
  if (quiet && !check) return usage("--quiet is only meaningful with --check");
  Hasher hasher;
  if (text_key != nullptr) {
    hasher.key.append(text_key, std::strlen(text_key));
  } else if (!parse_hex(hex_key, &hasher.key)) {
    return usage("-K wants an even number of hex digits");
  }
  return check ? check_digests(*algo, &hasher, operands - 1, argv + 2, quiet)
               : list_digests(*algo, &hasher, operands - 1, argv + 2);
}

}  // namespace qcli
