// Name servers from the IP configuration module.  This system configures
// them per adapter; the ones reported are the primary adapter's, the one
// that gives the family's default gateway: for IPv4 the first adapter with
// a gateway whose details can be read, for IPv6 the first adapter that is
// up and has an IPv6 gateway.  Adapters are taken in index order, as the
// gateways are.
#include <cstring>

#include "platform/platform.hpp"
#include "platform/win32/iphlpapi.hpp"

namespace quorvel::platform {
namespace {

using iphlp::Adapter;

struct Output {
  ConfigAddress *out;
  int32_t capacity;
  int32_t count;
};

void keep(Output *output, int32_t family, const void *bytes) {
  if (output->count < output->capacity) {
    ConfigAddress *record = &output->out[output->count];
    memset(record, 0, sizeof *record);
    record->family = family;
    memcpy(record->bytes, bytes, family == AF_INET ? 4 : 16);
  }
  ++output->count;
}

bool ipv4_servers(Output *output) {
  iphlp::SystemList adapters;
  if (!iphlp::fetch_adapters_info(&adapters)) return false;
  bool found = false;
  iphlp::for_each_by_index(
      adapters.first<IP_ADAPTER_INFO>(), [](const IP_ADAPTER_INFO *a) { return int64_t{a->Index}; },
      [&](const IP_ADAPTER_INFO *a) {
        iphlp::SystemList details;
        uint8_t gateway[4];
        if (found || !iphlp::ipv4_gateway(a, gateway) ||
            !iphlp::fetch_per_adapter_info(a->Index, &details) ||
            details.first<IP_PER_ADAPTER_INFO>() == nullptr)
          return;
        found = true;
        // The first server is part of the record, the others hang off it.
        for (const IP_ADDR_STRING *server = &details.first<IP_PER_ADAPTER_INFO>()->DnsServerList;
             server != nullptr; server = server->Next) {
          uint8_t bytes[4];
          if (iphlp::ipv4_of(server->IpAddress, bytes)) keep(output, AF_INET, bytes);
        }
      });
  return true;
}

bool ipv6_servers(Output *output) {
  iphlp::SystemList adapters;
  if (!iphlp::fetch_adapter_addresses(AF_INET6, iphlp::kGatewaysAndServers, &adapters))
    return false;
  bool found = false;
  iphlp::for_each_by_index(
      adapters.first<Adapter>(), [](const Adapter *a) { return int64_t{iphlp::ipv6_index(a)}; },
      [&](const Adapter *a) {
        if (found || !iphlp::adapter_up(a) || iphlp::first_ipv6_gateway(a) == nullptr) return;
        found = true;
        for (const IP_ADAPTER_DNS_SERVER_ADDRESS *server = a->FirstDnsServerAddress;
             server != nullptr; server = server->Next) {
          const in6_addr *address = iphlp::ipv6_of(server->Address);
          if (address != nullptr) keep(output, AF_INET6, address);
        }
      });
  return true;
}

}  // namespace

int32_t dns_servers(int32_t family, ConfigAddress *out, int32_t capacity) {
  Output output{out, capacity < 0 ? 0 : capacity, 0};
  bool listed = family == AF_INET    ? ipv4_servers(&output)
                : family == AF_INET6 ? ipv6_servers(&output)
                                     : false;
  return listed ? output.count : -1;
}

}  // namespace quorvel::platform
