// GetLIPNum, GetNLIP and GetNLIP2: the usable local addresses, counted or
// looked up by position.  Every call asks the platform afresh.
#include <cstring>

#include "net/interface_query.hpp"
#include "net/net_startup.hpp"
#include "quorvel/net.h"

namespace quorvel::detail {
namespace {

bool known_family(int32_t family) { return family == kIPv4 || family == kIPv6; }

// The index-th usable address: its prefix length, its text and its
// interface's name into the buffers given; -1 when there is none.
int32_t look_up_address(int32_t family, int32_t index, char *ip, char *adapter_name) {
  int32_t started = network_startup();
  if (started != 0) return started;
  if (!known_family(family)) return -1;
  AddressList list;
  if (index < 0) index = 0;
  if (!usable_addresses(family, &list) || index >= list.count()) return -1;
  const platform::InterfaceAddress &entry = list[index];
  char text[kWorkTextSize];
  address_text(entry.address, text);
  copy_text(ip, text, text_size(family));
  copy_text(adapter_name, entry.interface_name, kAdapterNameSize);
  return static_cast<int32_t>(entry.prefix_length);
}

}  // namespace
}  // namespace quorvel::detail

using namespace quorvel::detail;



extern "C" int32_t GetLIPNum(int32_t family) {
  if (network_startup() != 0 || !known_family(family)) return 0;
  AddressList list;
  return usable_addresses(family, &list) ? list.count() : 0;
}

extern "C" int32_t GetNLIP(int32_t family, int32_t index, char *ip) {
  return look_up_address(family, index, ip, nullptr);
}

extern "C" int32_t GetNLIP2(int32_t family, int32_t index, char *ip, char *adapterName) {
  return look_up_address(family, index, ip, adapterName);
}


