// Default gateways from the IP configuration module: each adapter's first
// gateway, IPv4 from the adapter list, IPv6 from the adapter-address list
// of the adapters that are up.  The module gives one gateway list per
// adapter, so there is one default gateway per interface.
#include <cstring>

#include "platform/platform.hpp"
#include "platform/win32/iphlpapi.hpp"

namespace quorvel::platform {
namespace {

using iphlp::Adapter;

struct Output {
  DefaultGateway *out;
  int32_t capacity;
  int32_t count;
  uint32_t last_index;  // one per interface: a repeated index is passed over
};

void keep(Output *output, uint32_t index, uint32_t metric, int32_t family, const void *gateway) {
  if (output->count > 0 && output->last_index == index) return;
  output->last_index = index;
  if (output->count < output->capacity) {
    DefaultGateway *record = &output->out[output->count];
    memset(record, 0, sizeof *record);
    record->interface_index = index;
    record->metric = metric;
    record->gateway.family = family;
    memcpy(record->gateway.bytes, gateway, family == AF_INET ? 4 : 16);
  }
  ++output->count;
}

// The route metric the system gives the adapter, 0 where it gives none.
uint32_t metric_of(const Adapter *a, int32_t family) {
  if (a == nullptr) return 0;
  if (family == AF_INET)
    return iphlp::reaches(a, offsetof(Adapter, Ipv4Metric) + sizeof a->Ipv4Metric) ? a->Ipv4Metric
                                                                                   : 0;
  return iphlp::reaches(a, offsetof(Adapter, Ipv6Metric) + sizeof a->Ipv6Metric) ? a->Ipv6Metric
                                                                                 : 0;
}

bool ipv4_gateways(Output *output) {
  iphlp::SystemList adapters;
  iphlp::SystemList metrics;
  if (!iphlp::fetch_adapters_info(&adapters)) return false;
  // Only for the metrics: without this list they are 0.
  iphlp::fetch_adapter_addresses(AF_UNSPEC, iphlp::kAdaptersOnly, &metrics);
  iphlp::for_each_by_index(
      adapters.first<IP_ADAPTER_INFO>(), [](const IP_ADAPTER_INFO *a) { return int64_t{a->Index}; },
      [&](const IP_ADAPTER_INFO *a) {
        uint8_t gateway[4];
        if (!iphlp::ipv4_gateway(a, gateway)) return;
        const uint32_t metric =
            metric_of(iphlp::find_adapter(metrics.first<Adapter>(), a->Index), AF_INET);
        keep(output, a->Index, metric, AF_INET, gateway);
      });
  return true;
}

bool ipv6_gateways(Output *output) {
  iphlp::SystemList adapters;
  if (!iphlp::fetch_adapter_addresses(AF_INET6, iphlp::kGatewaysOnly, &adapters)) return false;
  iphlp::for_each_by_index(
      adapters.first<Adapter>(), [](const Adapter *a) { return int64_t{iphlp::ipv6_index(a)}; },
      [&](const Adapter *a) {
        const in6_addr *gateway = iphlp::first_ipv6_gateway(a);
        if (!iphlp::adapter_up(a) || gateway == nullptr) return;
        keep(output, iphlp::ipv6_index(a), metric_of(a, AF_INET6), AF_INET6, gateway);
      });
  return true;
}

}  // namespace

int32_t default_gateways(int32_t family, DefaultGateway *out, int32_t capacity, int32_t *needed) {
  if (needed != nullptr) *needed = 0;
  if ((family != AF_INET && family != AF_INET6) || capacity < 0) return -1;
  Output output{out, capacity, 0, 0};
  if (!(family == AF_INET ? ipv4_gateways(&output) : ipv6_gateways(&output))) return -1;
  if (needed != nullptr) *needed = output.count;
  return output.count < capacity ? output.count : capacity;
}

}  // namespace quorvel::platform
