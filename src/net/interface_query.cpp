// The usable-address walk and the default gateway, on the platform's
// lists.  The exclusion rules compare address texts, as the queries have
// always done: an IPv6 address counts unless its text is "::1" or begins
// with "fe80::" (so fe80:0:1::1, written "fe80:0:1::1", counts).
#include "net/interface_query.hpp"

#include <cstring>

#include "quorvel/net.h"

namespace quorvel::detail {
namespace {

static_assert(kIPv4 == QRVL_AF_INET && kIPv6 == QRVL_AF_INET6);

bool fetch_addresses(int32_t family, AddressList *list) {
  return list->fill([family](platform::InterfaceAddress *out, int32_t capacity, int32_t *needed) {
    int32_t total = platform::interface_addresses(family, out, capacity);
    *needed = total;
    return total < capacity ? total : capacity;
  });
}

bool fetch_gateways(int32_t family, GatewayList *list) {
  return list->fill([family](platform::DefaultGateway *out, int32_t capacity, int32_t *needed) {
    return platform::default_gateways(family, out, capacity, needed);
  });
}

bool usable_ipv4_text(const char *text) {
  return strncmp(text, "127.", 4) != 0 && strcmp(text, "0.0.0.0") != 0 &&
         strncmp(text, "169.254.", 8) != 0;
}

bool usable_ipv6_text(const char *text) {
  return strcmp(text, "::1") != 0 && strncmp(text, "fe80::", 6) != 0;
}

// An interface contributes IPv4 addresses only with a default gateway.
bool has_ipv4_gateway(GatewayList &gateways, uint32_t interface_index) {
  for (int32_t i = 0; i < gateways.count(); ++i) {
    if (gateways[i].interface_index != interface_index) continue;
    char text[kWorkTextSize];
    address_text(gateways[i].gateway, text);
    return strcmp(text, "0.0.0.0") != 0;
  }
  return false;
}

}  // namespace

void address_text(const platform::ConfigAddress &address, char (&text)[kWorkTextSize]) {
  if (inet_ntopx(address.family, address.bytes, text, kWorkTextSize) == nullptr) text[0] = '\0';
}

void copy_text(char *out, const char *text, size_t size) {
  if (out == nullptr) return;
  size_t length = strnlen(text, size - 1);
  memcpy(out, text, length);
  out[length] = '\0';
}

bool usable_addresses(int32_t family, AddressList *list) {
  if (family == kIPv4) {
    if (!fetch_addresses(kIPv4, list)) return false;
    list->keep_if([](const platform::InterfaceAddress &entry) {
      char text[kWorkTextSize];
      address_text(entry.address, text);
      return usable_ipv4_text(text);
    });
    // Only then the routes: a host with nothing but loopback needs none.
    GatewayList gateways;
    if (list->count() == 0) return true;
    if (!fetch_gateways(kIPv4, &gateways)) return false;
    list->keep_if([&gateways](const platform::InterfaceAddress &entry) {
      return has_ipv4_gateway(gateways, entry.interface_index);
    });
    return true;
  }
  if (!fetch_addresses(kIPv6, list)) return false;
  list->keep_if([](const platform::InterfaceAddress &entry) {
    char text[kWorkTextSize];
    address_text(entry.address, text);
    return entry.up && usable_ipv6_text(text);
  });
  return true;
}

bool default_gateway(int32_t family, platform::ConfigAddress *gateway) {
  GatewayList gateways;
  if (!fetch_gateways(family, &gateways)) return false;
  for (int32_t i = 0; i < gateways.count(); ++i) {
    char text[kWorkTextSize];
    address_text(gateways[i].gateway, text);
    bool usable = family == kIPv4 ? strcmp(text, "0.0.0.0") != 0
                                  : platform::interface_up(gateways[i].interface_index);
    if (!usable) continue;
    *gateway = gateways[i].gateway;
    return true;
  }
  return false;
}

}  // namespace quorvel::detail
