// Interface addresses from the IP configuration module: IPv4 from the
// adapter list, IPv6 (and the link state) from the adapter-address list.
#include <cstring>

#include "platform/platform.hpp"
#include "platform/win32/iphlpapi.hpp"

namespace quorvel::platform {
namespace {

using iphlp::Adapter;

// The records filled so far and the number there are.
struct Output {
  InterfaceAddress *out;
  int32_t capacity;
  int32_t count;
};

InterfaceAddress *next_record(Output *output) {
  InterfaceAddress *record =
      output->count < output->capacity ? &output->out[output->count] : nullptr;
  ++output->count;
  if (record != nullptr) memset(record, 0, sizeof *record);
  return record;
}

// The record's name is cut to its size (its NUL is there from the clearing).
void copy_name(InterfaceAddress *record, const char *name) {
  if (name != nullptr) memcpy(record->interface_name, name, strnlen(name, kInterfaceNameSize - 1));
}

// An adapter of the IPv4 list counts as up unless the adapter-address list
// says otherwise.
bool ipv4_up(const Adapter *states, DWORD index) {
  const Adapter *a = iphlp::find_adapter(states, index);
  return a == nullptr || iphlp::adapter_up(a);
}

bool ipv4_addresses(Output *output) {
  iphlp::SystemList adapters;
  iphlp::SystemList addresses;
  if (!iphlp::fetch_adapters_info(&adapters)) return false;
  // Only for the link states: without this list every adapter counts as up.
  iphlp::fetch_adapter_addresses(AF_UNSPEC, iphlp::kAdaptersOnly, &addresses);
  iphlp::for_each_by_index(
      adapters.first<IP_ADAPTER_INFO>(), [](const IP_ADAPTER_INFO *a) { return int64_t{a->Index}; },
      [&](const IP_ADAPTER_INFO *a) {
        const bool up = ipv4_up(addresses.first<Adapter>(), a->Index);
        for (const IP_ADDR_STRING *entry = &a->IpAddressList; entry != nullptr;
             entry = entry->Next) {
          uint8_t bytes[4];
          uint8_t mask[4];
          if (!iphlp::ipv4_of(entry->IpAddress, bytes)) continue;
          InterfaceAddress *record = next_record(output);
          if (record == nullptr) continue;
          record->interface_index = a->Index;
          uint32_t bits = 0;
          if (iphlp::ipv4_of(entry->IpMask, mask))
            for (uint8_t byte : mask) bits += static_cast<uint32_t>(__builtin_popcount(byte));
          record->prefix_length = bits;
          record->up = up;
          record->address.family = AF_INET;
          memcpy(record->address.bytes, bytes, 4);
          copy_name(record, a->AdapterName);
        }
      });
  return true;
}

bool ipv6_addresses(Output *output) {
  iphlp::SystemList adapters;
  if (!iphlp::fetch_adapter_addresses(AF_UNSPEC, iphlp::kUnicastOnly, &adapters)) return false;
  iphlp::for_each_by_index(
      adapters.first<Adapter>(), [](const Adapter *a) { return int64_t{iphlp::ipv6_index(a)}; },
      [&](const Adapter *a) {
        for (const iphlp::Unicast *u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
          const in6_addr *address = iphlp::ipv6_of(u->Address);
          if (address == nullptr) continue;
          InterfaceAddress *record = next_record(output);
          if (record == nullptr) continue;
          record->interface_index = iphlp::ipv6_index(a);
          // Systems before the on-link prefix fill a shorter record.
          if (iphlp::reaches(u, offsetof(iphlp::Unicast, OnLinkPrefixLength) + 1))
            record->prefix_length = u->OnLinkPrefixLength;
          record->up = iphlp::adapter_up(a);
          record->address.family = AF_INET6;
          memcpy(record->address.bytes, address, 16);
          copy_name(record, a->AdapterName);
        }
      });
  return true;
}

}  // namespace

int32_t interface_addresses(int32_t family, InterfaceAddress *out, int32_t capacity) {
  Output output{out, capacity < 0 ? 0 : capacity, 0};
  bool listed = family == AF_INET    ? ipv4_addresses(&output)
                : family == AF_INET6 ? ipv6_addresses(&output)
                                     : false;
  return listed ? output.count : -1;
}

bool interface_up(uint32_t interface_index) {
  iphlp::SystemList adapters;
  if (!iphlp::fetch_adapter_addresses(AF_UNSPEC, iphlp::kAdaptersOnly, &adapters)) return false;
  const Adapter *list = adapters.first<Adapter>();
  const Adapter *a = iphlp::find_adapter(list, interface_index);
  if (a == nullptr) a = iphlp::find_ipv6_adapter(list, interface_index);
  return a != nullptr && iphlp::adapter_up(a);
}

}  // namespace quorvel::platform
