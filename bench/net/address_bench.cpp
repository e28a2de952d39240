// Address text to bytes and back against the C library's inet_pton and
// inet_ntop, over one mix of IPv4 and IPv6 addresses (half each).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "quorvel.h"

namespace {

constexpr size_t kCount = 1024;

struct Address {
  int family;
  std::array<uint8_t, 16> bytes;
  std::string text;
};

// Addresses as they come in practice: dotted IPv4 of every length, IPv6
// with and without a zero run, link-local and mapped forms.
std::vector<Address> addresses() {
  std::vector<Address> out(kCount);
  uint32_t x = 2463534242u;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  for (size_t i = 0; i < kCount; ++i) {
    Address &a = out[i];
    a.bytes = {};
    for (auto &b : a.bytes) b = static_cast<uint8_t>(next());
    a.family = i % 2 == 0 ? AF_INET : AF_INET6;
    if (a.family == AF_INET6) {
      switch (i / 2 % 4) {
        case 0: std::fill(a.bytes.begin() + 4, a.bytes.begin() + 12, 0); break;  // 2001:db8::x
        case 1: a.bytes[0] = 0xfe, a.bytes[1] = 0x80;                            // fe80::x
                std::fill(a.bytes.begin() + 2, a.bytes.begin() + 8, 0); break;
        case 2: std::fill(a.bytes.begin(), a.bytes.begin() + 10, 0);             // mapped
                a.bytes[10] = a.bytes[11] = 0xff; break;
        default: break;                                                         // full
      }
    }
    char text[INET6_ADDRSTRLEN];
    a.text = inet_ntop(a.family, a.bytes.data(), text, sizeof text);
  }
  return out;
}

// The mix (argument 0), or only its IPv4 (4) or IPv6 (6) addresses.
std::vector<Address> mix(int64_t which) {
  std::vector<Address> out;
  for (const Address &a : addresses())
    if (which == 0 || (which == 4) == (a.family == AF_INET)) out.push_back(a);
  return out;
}

template <typename Parse>
void parse_loop(benchmark::State &state, Parse parse) {
  const auto m = mix(state.range(0));
  uint8_t out[16];
  size_t i = 0;
  for (auto _ : state) {
    const Address &a = m[i++ % m.size()];
    benchmark::DoNotOptimize(parse(a.family, a.text.c_str(), out));
    benchmark::DoNotOptimize(out);
  }
}

template <typename Format>
void format_loop(benchmark::State &state, Format format) {
  const auto m = mix(state.range(0));
  char out[64];
  size_t i = 0;
  for (auto _ : state) {
    const Address &a = m[i++ % m.size()];
    benchmark::DoNotOptimize(format(a.family, a.bytes.data(), out, sizeof out));
    benchmark::ClobberMemory();
  }
}

void BM_inet_ptonx(benchmark::State &state) { parse_loop(state, inet_ptonx); }
void BM_glibc_inet_pton(benchmark::State &state) { parse_loop(state, inet_pton); }
void BM_inet_ntopx(benchmark::State &state) {
  format_loop(state, [](int f, const void *s, char *d, int n) { return inet_ntopx(f, s, d, n); });
}
void BM_glibc_inet_ntop(benchmark::State &state) {
  format_loop(state, [](int f, const void *s, char *d, int n) {
    return inet_ntop(f, s, d, static_cast<socklen_t>(n));
  });
}
BENCHMARK(BM_inet_ptonx)->Arg(0)->Arg(4)->Arg(6);
BENCHMARK(BM_glibc_inet_pton)->Arg(0)->Arg(4)->Arg(6);
BENCHMARK(BM_inet_ntopx)->Arg(0)->Arg(4)->Arg(6);
BENCHMARK(BM_glibc_inet_ntop)->Arg(0)->Arg(4)->Arg(6);

}  // namespace

BENCHMARK_MAIN();
