// quorvel hash: digests and checksums of files, listed and checked in the
// format of sha256sum.
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"
#include "digest.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel hash ALGORITHM [-c] [--quiet] [FILE...]\n"
    "Print or check the digest of each FILE (standard input when none or '-'),\n"
    "one line \"<hex>  <name>\" per file, as sha256sum prints them.\n"
    "\n"
    "  -c, --check  read such lines from the FILEs and check each named file:\n"
    "               \"NAME: OK\" or \"NAME: FAILED\"; exit 1 when any failed\n"
    "      --quiet  with -c, leave out the OK lines\n"
    "\n"
    "Algorithms and what they print:\n"
    "  md5          the 128-bit MD5 digest\n"
    "  sha224       the 224-bit SHA-224 digest (inputs below 512 MiB)\n"
    "  sha256       the 256-bit SHA-256 digest (inputs below 512 MiB)\n"
    "  crc32        the CRC-32 of IEEE 802.3, as zlib and gzip compute it: reflected,\n"
    "               starting from 0xffffffff, inverted at the end (\"123456789\" gives\n"
    "               cbf43926)\n"
    "  crc32-msb    the same polynomial most significant bit first, starting from\n"
    "               0xffffffff, inverted at the end, as bzip2 computes it\n"
    "               (\"123456789\" gives fc891918)\n"
    "  sum          the sum of the bytes modulo 2^32\n"
    "  murmur32     MurmurHash3 x86 32-bit, seed 0 (inputs below 2 GiB)\n"
    "  murmur128    MurmurHash3 x64 128-bit, seed 0: h1 then h2 (inputs below 2 GiB)\n"
    "  murmur128-x86  MurmurHash3 x86 128-bit, seed 0: h1 h2 h3 h4 (inputs below 2 GiB)\n"
    "The checksums and MurmurHash3 values are printed as numbers: eight hex digits\n"
    "per 32-bit word, sixteen per 64-bit word, most significant digit first.\n";

void put_be32(uint32_t v, uint8_t *out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void put_be64(uint64_t v, uint8_t *out) {
  put_be32(static_cast<uint32_t>(v >> 32), out);
  put_be32(static_cast<uint32_t>(v), out + 4);
}

void crc_start_inverted(Hasher *h) {
  h->state.crc = 0xffffffffu;
}
void crc_end_inverted(Hasher *h, uint8_t *d) {
  put_be32(~h->state.crc, d);
}
void whole_start(Hasher *h) {
  h->whole.clear();
}
void whole_append(Hasher *h, const uint8_t *p, uint32_t n) {
  h->whole.append(p, n);
}
int32_t whole_len(const Hasher *h) {
  return static_cast<int32_t>(h->whole.size());
}

constexpr uint64_t kShaMax = (uint64_t{1} << 29) - 1;  // the context counts bytes in 32 bits
constexpr uint64_t kWholeMax = 0x7fffffff;             // MurmurHash3 takes an int32_t length
constexpr uint64_t kNoMax = ~uint64_t{0};

const DigestAlgo kAlgos[] = {
    {"md5", 16, kNoMax, [](Hasher *h) { QRVL_MD5Init(&h->state.md5); },
     [](Hasher *h, const uint8_t *p, uint32_t n) { QRVL_MD5Update(&h->state.md5, p, n); },
     [](Hasher *h, uint8_t *d) { QRVL_MD5Final(d, &h->state.md5); }},
    {"sha224", 28, kShaMax, [](Hasher *h) { csha224_init(&h->state.sha); },
     [](Hasher *h, const uint8_t *p, uint32_t n) { csha224_update(&h->state.sha, p, n); },
     [](Hasher *h, uint8_t *d) { csha224_final(&h->state.sha, d); }},
    {"sha256", 32, kShaMax, [](Hasher *h) { csha256_init(&h->state.sha); },
     [](Hasher *h, const uint8_t *p, uint32_t n) { csha256_update(&h->state.sha, p, n); },
     [](Hasher *h, uint8_t *d) { csha256_final(&h->state.sha, d); }},
    {"crc32", 4, kNoMax, crc_start_inverted,
     [](Hasher *h, const uint8_t *p, uint32_t n) {
       h->state.crc = GetCrc32(1, h->state.crc, p, n);
     },
     crc_end_inverted},
    {"crc32-msb", 4, kNoMax, crc_start_inverted,
     [](Hasher *h, const uint8_t *p, uint32_t n) {
       h->state.crc = GetCrc32(0, h->state.crc, p, n);
     },
     crc_end_inverted},
    {"sum", 4, kNoMax, [](Hasher *h) { h->state.crc = 0; },
     [](Hasher *h, const uint8_t *p, uint32_t n) {
       h->state.crc = GetCrc32(2, h->state.crc, p, n);
     },
     [](Hasher *h, uint8_t *d) { put_be32(h->state.crc, d); }},
    {"murmur32", 4, kWholeMax, whole_start, whole_append,
     [](Hasher *h, uint8_t *d) {
       uint32_t v;
       MurmurHash3_x86_32(h->whole.data(), whole_len(h), 0, &v);
       put_be32(v, d);
     }},
    {"murmur128", 16, kWholeMax, whole_start, whole_append,
     [](Hasher *h, uint8_t *d) {
       uint64_t v[2];
       MurmurHash3_x64_128(h->whole.data(), whole_len(h), 0, v);
       put_be64(v[0], d);
       put_be64(v[1], d + 8);
     }},
    {"murmur128-x86", 16, kWholeMax, whole_start, whole_append,
     [](Hasher *h, uint8_t *d) {
       uint32_t v[4];
       MurmurHash3_x86_128(h->whole.data(), whole_len(h), 0, v);
       for (int i = 0; i < 4; ++i) put_be32(v[i], d + 4 * i);
     }},
};

}  // namespace

int run_hash(int argc, char **argv) {
  bool check = false, quiet = false;
  const Option options[] = {{"-c", "--check", nullptr, &check},
                            {nullptr, "--quiet", nullptr, &quiet}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, sizeof options / sizeof options[0], &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands == 0) return usage("which algorithm? (md5, sha224, sha256, crc32, ...)");
  const DigestAlgo *algo = find_algo(kAlgos, sizeof kAlgos / sizeof kAlgos[0], argv[1]);
  if (algo == nullptr) return usage("unknown algorithm '%s'", argv[1]);
  if (quiet && !check) return usage("--quiet is only meaningful with --check");
  Hasher hasher;
  return check ? check_digests(*algo, &hasher, operands - 1, argv + 2, quiet)
               : list_digests(*algo, &hasher, operands - 1, argv + 2);
}

}  // namespace qcli
