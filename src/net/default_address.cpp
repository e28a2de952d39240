// GetDefaultGateway, GetDefaultLIP and GetSpecificLIP: the gateway and the
// local address a program should present as its own.
#include <cstring>

#include "net/interface_query.hpp"
#include "net/net_startup.hpp"
#include "quorvel/net.h"

namespace quorvel::detail {
namespace {

// Whether address lies in the gateway's subnet under a mask of the
// address's prefix length.  The masks are the ones MakeIPv4MaskAddr and
// MakeIPv6MaskAddr build; both addresses come as bytes, which is what
// converting their texts would give.
bool shares_subnet(const platform::InterfaceAddress &address, const platform::ConfigAddress &gateway) {
  uint8_t mask[16] = {};
  size_t size = 16;
  int32_t prefix = static_cast<int32_t>(address.prefix_length);
  if (address.address.family == kIPv4) {
    uint32_t mask4 = 0;
    MakeIPv4MaskAddr(prefix, nullptr, &mask4);
    memcpy(mask, &mask4, 4);
    size = 4;
  } else {
    MakeIPv6MaskAddr(prefix, nullptr, mask);
  }
  for (size_t i = 0; i < size; ++i)
    if ((address.address.bytes[i] & mask[i]) != (gateway.bytes[i] & mask[i])) return false;
  return true;
}

// The family's default local address: with several usable ones, the first
// in the default gateway's subnet, else the first.  Its text goes to ip
// (when given) and the result is its prefix length, -1 when there is none.
int32_t default_local_address(int32_t family, char *ip) {
  AddressList list;
  if (network_startup() != 0 || !usable_addresses(family, &list) || list.count() == 0) return -1;
  int32_t chosen = 0;
  platform::ConfigAddress gateway;
  if (list.count() > 1 && default_gateway(family, &gateway)) {
    for (int32_t i = 0; i < list.count(); ++i) {
      if (!shares_subnet(list[i], gateway)) continue;
      chosen = i;
      break;
    }
  }
  char text[kWorkTextSize];
  address_text(list[chosen].address, text);
  copy_text(ip, text, text_size(family));
  return static_cast<int32_t>(list[chosen].prefix_length);
}

}  // namespace
}  // namespace quorvel::detail

using namespace quorvel::detail;

extern "C" int32_t GetDefaultGateway(int32_t family, char *gateway) {
  if (network_startup() != 0 || (family != kIPv4 && family != kIPv6)) return -1;
  quorvel::platform::ConfigAddress found;
  if (!default_gateway(family, &found)) return -1;
  char text[kWorkTextSize];
  address_text(found, text);
  copy_text(gateway, text, text_size(family));
  return 0;
}

extern "C" int32_t GetDefaultLIP(int32_t *family, char *ip) {
  network_startup();  // a failure leaves the fall-back below
  int32_t prefix = default_local_address(kIPv4, ip);
  int32_t chosen_family = kIPv4;
  if (prefix <= 0) {
    prefix = default_local_address(kIPv6, ip);
    chosen_family = kIPv6;
  }
  if (prefix <= 0) {
    copy_text(ip, "0.0.0.0", kIPv4TextSize);
    prefix = 32;
    chosen_family = kIPv4;
  }
  if (family != nullptr) *family = chosen_family;
  return prefix;
}

extern "C" int32_t GetSpecificLIP(int32_t family, char *ip) {
  network_startup();  // a failure leaves the fall-backs below
  if (family != kIPv4 && family != kIPv6) {
    copy_text(ip, "", 1);
    return 0;
  }
  int32_t prefix = default_local_address(family, ip);
  if (prefix > 0) return prefix;
  copy_text(ip, family == kIPv4 ? "0.0.0.0" : "::", text_size(family));
  return family == kIPv4 ? 32 : 128;
}
