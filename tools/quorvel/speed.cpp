// quorvel speed: throughput of each primitive on this machine, a table in
// MB/s over the block sizes openssl speed uses.
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel speed [-t MS] [ALGORITHM...]\n"
    "Measure how fast each primitive runs here: about a second per algorithm,\n"
    "spread over blocks of 16, 64, 256, 1024, 8192 and 16384 bytes, reported in\n"
    "MB/s (10^6 bytes of input per second).  Each block is one call: a digest is\n"
    "initialised and finished per block, and the AES rows encrypt through the\n"
    "buffer functions, which add a padding block to every call.\n"
    "\n"
    "  -t, --time MS  milliseconds per algorithm (default 1000)\n"
    "\n"
    "Algorithms (all when none is named): md5 sha224 sha256 hmac-sha224 hmac-sha256\n"
    "crc32 crc32-msb sum murmur32 murmur128 murmur128-x86 aes-128-ecb aes-192-ecb\n"
    "aes-256-ecb aes-128-cbc aes-192-cbc aes-256-cbc base64 hex\n";

constexpr size_t kSizes[] = {16, 64, 256, 1024, 8192, 16384};
constexpr size_t kMaxSize = 16384;

const uint8_t kKey[32] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15,
                          0x88, 0x09, 0xcf, 0x4f, 0x3c, 0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca,
                          0x71, 0xbe, 0x2b, 0x73, 0xae, 0xf0, 0x85, 0x7d, 0x77, 0x81};
CAesKeyPair g_keys[3];  // AES-128, -192, -256, filled before the first AES row

// One call on n bytes of in (writable, with room for a padding block)
// into out (room for the hex of kMaxSize bytes).
using Op = void (*)(uint8_t *in, uint8_t *out, uint32_t n);

template <int K, bool Cbc>
void aes(uint8_t *in, uint8_t *out, uint32_t n) {
  if (Cbc) {
    CAesCbcEncrypt(in, n, kKey, 16, out, n + 16, &g_keys[K]);
  } else {
    CAesEncrypt(in, n, out, n + 16, &g_keys[K]);
  }
}

const struct {
  const char *name;
  Op op;
} kAlgos[] = {
    {"md5",
     [](uint8_t *in, uint8_t *out, uint32_t n) {
       QRVL_MD5_CTX ctx;
       QRVL_MD5Init(&ctx);
       QRVL_MD5Update(&ctx, in, n);
       QRVL_MD5Final(out, &ctx);
     }},
    {"sha224", [](uint8_t *in, uint8_t *out, uint32_t n) { csha224(in, n, out); }},
    {"sha256", [](uint8_t *in, uint8_t *out, uint32_t n) { csha256(in, n, out); }},
    {"hmac-sha224",
     [](uint8_t *in, uint8_t *out, uint32_t n) { hmac_csha224(kKey, 32, in, n, out, 28); }},
    {"hmac-sha256",
     [](uint8_t *in, uint8_t *out, uint32_t n) { hmac_csha256(kKey, 32, in, n, out, 32); }},
    {"crc32", [](uint8_t *in, uint8_t *out,
                 uint32_t n) { out[0] = static_cast<uint8_t>(GetCrc32(1, ~0u, in, n)); }},
    {"crc32-msb", [](uint8_t *in, uint8_t *out,
                     uint32_t n) { out[0] = static_cast<uint8_t>(GetCrc32(0, ~0u, in, n)); }},
    {"sum", [](uint8_t *in, uint8_t *out,
               uint32_t n) { out[0] = static_cast<uint8_t>(GetCrc32(2, 0, in, n)); }},
    {"murmur32", [](uint8_t *in, uint8_t *out,
                    uint32_t n) { MurmurHash3_x86_32(in, static_cast<int32_t>(n), 0, out); }},
    {"murmur128", [](uint8_t *in, uint8_t *out,
                     uint32_t n) { MurmurHash3_x64_128(in, static_cast<int32_t>(n), 0, out); }},
    {"murmur128-x86", [](uint8_t *in, uint8_t *out,
                         uint32_t n) { MurmurHash3_x86_128(in, static_cast<int32_t>(n), 0, out); }},
    {"aes-128-ecb", aes<0, false>},
    {"aes-192-ecb", aes<1, false>},
    {"aes-256-ecb", aes<2, false>},
    {"aes-128-cbc", aes<0, true>},
    {"aes-192-cbc", aes<1, true>},
    {"aes-256-cbc", aes<2, true>},
    {"base64",
     [](uint8_t *in, uint8_t *out, uint32_t n) {
       ToBase64Simple(in, static_cast<int32_t>(n), reinterpret_cast<char *>(out), 2 * kMaxSize);
     }},
    {"hex",
     [](uint8_t *in, uint8_t *out, uint32_t n) {
       mmData2HexString(in, static_cast<int32_t>(n), reinterpret_cast<char *>(out),
                        2 * kMaxSize + 1);
     }},
};
constexpr size_t kAlgoCount = sizeof kAlgos / sizeof kAlgos[0];

volatile uint8_t g_sink;  // keeps the results alive

// MB/s of op on blocks of n bytes, run for about budget.
double measure(Op op, uint8_t *in, uint8_t *out, size_t n, std::chrono::nanoseconds budget) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto now = start;
  uint64_t calls = 0;
  do {
    for (int i = 0; i < 16; ++i) op(in, out, static_cast<uint32_t>(n));
    calls += 16;
    g_sink = static_cast<uint8_t>(g_sink ^ out[0]);
    now = Clock::now();
  } while (now - start < budget);
  const double seconds = std::chrono::duration<double>(now - start).count();
  return static_cast<double>(calls * n) / seconds / 1e6;
}

bool run_row(size_t algo, long ms, uint8_t *in, uint8_t *out) {
  const auto budget = std::chrono::milliseconds(ms) / (sizeof kSizes / sizeof kSizes[0]);
  print("%-14s", kAlgos[algo].name);
  for (size_t n : kSizes)
    if (!print(" %10.2f", measure(kAlgos[algo].op, in, out, n, budget))) return false;
  if (!print("\n")) return false;
  std::fflush(stdout);  // one row at a time, as each is measured
  return true;
}

}  // namespace

int run_speed(int argc, char **argv) {
  const char *time = nullptr;
  const Option options[] = {{"-t", "--time", &time, nullptr}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, 1, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  char *end = nullptr;
  const long ms = time ? std::strtol(time, &end, 10) : 1000;
  if (time && (end == time || *end != '\0' || ms < 1 || ms > 600000))
    return usage("-t wants milliseconds from 1 to 600000");
  bool chosen[kAlgoCount] = {};
  for (int i = 1; i <= operands; ++i) {
    size_t k = 0;
    while (k < kAlgoCount && std::strcmp(kAlgos[k].name, argv[i]) != 0) ++k;
    if (k == kAlgoCount) return usage("unknown algorithm '%s'", argv[i]);
    chosen[k] = true;
  }
  for (uint32_t k = 0; k < 3; ++k) CAesKeyInit(kKey, 16 + 8 * k, 128 + 64 * k, &g_keys[k]);
  static uint8_t in[kMaxSize + 16], out[2 * kMaxSize + 64];
  for (size_t i = 0; i < sizeof in; ++i) in[i] = static_cast<uint8_t>(i * 131 + 7);
  print("%-14s", "MB/s");
  for (size_t n : kSizes) print(" %8llu B", static_cast<unsigned long long>(n));
  print("\n");
  for (size_t k = 0; k < kAlgoCount; ++k)
    if ((operands == 0 || chosen[k]) && !run_row(k, ms, in, out)) return kFailed;
  return kOk;
}

}  // namespace qcli
