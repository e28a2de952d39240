// GetAddrByDNS answering a stored name from the domain table, against the
// platform resolver answering the same name from the hosts file: the cost
// a caller pays per lookup with and without the resolver's table.
#include <benchmark/benchmark.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "quorvel.h"

namespace {

const char kName[] = "localhost";

void discard(const char *, int32_t) {}

// Waits until the resolver thread has stored an answer for kName.
bool stored_in_table() {
  SetDebugOutput(discard);
  char ipv4[16], ipv6[40];
  for (int i = 0; i < 500; ++i) {
    GetAddrByDNS(kName, ipv4, ipv6);
    if (strcmp(ipv4, "0.0.0.0") != 0 || strcmp(ipv6, "::") != 0) return true;
    usleep(10 * 1000);
  }
  return false;
}

void BM_GetAddrByDNS_FromTable(benchmark::State &state) {
  if (!stored_in_table()) {
    state.SkipWithError("the resolver stored no answer for localhost");
    return;
  }
  char ipv4[16], ipv6[40];
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetAddrByDNS(kName, ipv4, ipv6));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GetAddrByDNS_FromTable);

void BM_getaddrinfo_Localhost(benchmark::State &state) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  for (auto _ : state) {
    addrinfo *list = nullptr;
    if (getaddrinfo(kName, nullptr, &hints, &list) != 0) {
      state.SkipWithError("getaddrinfo(localhost) failed");
      break;
    }
    benchmark::DoNotOptimize(list);
    freeaddrinfo(list);
  }
}
BENCHMARK(BM_getaddrinfo_Localhost);

}  // namespace
