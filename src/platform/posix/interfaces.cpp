// Interface addresses from getifaddrs().
//
// getifaddrs() gives every interface once as a link entry (AF_PACKET, which
// carries the interface index; no address at all for an interface without
// a hardware address, such as a TUN or point-to-point one) and then its
// addresses under the interface's name, or under an address label such as
// "eth0:1".  The addresses are put
// in interface index order here, since the kernel dumps them in the order
// of its device table, which is not promised to be that.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include <cstring>

#include "platform/platform.hpp"

namespace quorvel::platform {
namespace {

static_assert(AF_INET == kConfigFamilyIPv4 && AF_INET6 == kConfigFamilyIPv6);
static_assert(IF_NAMESIZE == kInterfaceNameSize);

bool is_family(const ifaddrs *entry, int32_t family) {
  return entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == family;
}

bool is_link(const ifaddrs *entry) {
  return entry->ifa_addr == nullptr || entry->ifa_addr->sa_family == AF_PACKET;
}

// The link entry an address entry belongs to: the one of the same name,
// or for a label "name:alias" the one named before the colon.
const ifaddrs *link_of(const ifaddrs *list, const char *name) {
  size_t length = strnlen(name, kInterfaceNameSize);
  for (int pass = 0; pass < 2; ++pass) {
    for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (!is_link(entry)) continue;
      if (strncmp(entry->ifa_name, name, length) == 0 && entry->ifa_name[length] == '\0')
        return entry;
    }
    const char *colon = static_cast<const char *>(memchr(name, ':', length));
    if (colon == nullptr) break;
    length = static_cast<size_t>(colon - name);
  }
  return nullptr;
}

// 0 for no link; a link entry without a hardware address is asked for by
// name (0 too if the interface went away meanwhile).
uint32_t index_of(const ifaddrs *link) {
  if (link == nullptr) return 0;
  if (link->ifa_addr == nullptr) return if_nametoindex(link->ifa_name);
  return static_cast<uint32_t>(reinterpret_cast<const sockaddr_ll *>(link->ifa_addr)->sll_ifindex);
}

uint32_t mask_bits(const sockaddr *mask, int32_t family) {
  if (mask == nullptr) return 0;
  const uint8_t *bytes =
      family == AF_INET
          ? reinterpret_cast<const uint8_t *>(&reinterpret_cast<const sockaddr_in *>(mask)->sin_addr)
          : reinterpret_cast<const uint8_t *>(&reinterpret_cast<const sockaddr_in6 *>(mask)->sin6_addr);
  uint32_t bits = 0;
  for (int i = 0; i < (family == AF_INET ? 4 : 16); ++i) bits += __builtin_popcount(bytes[i]);
  return bits;
}

void fill(InterfaceAddress *record, const ifaddrs *entry, const ifaddrs *link, int32_t family) {
  memset(record, 0, sizeof *record);
  record->interface_index = index_of(link);
  record->prefix_length = mask_bits(entry->ifa_netmask, family);
  record->up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_RUNNING) != 0;
  record->address.family = family;
  if (family == AF_INET)
    memcpy(record->address.bytes, &reinterpret_cast<const sockaddr_in *>(entry->ifa_addr)->sin_addr, 4);
  else
    memcpy(record->address.bytes, &reinterpret_cast<const sockaddr_in6 *>(entry->ifa_addr)->sin6_addr, 16);
  strncpy(record->interface_name, link->ifa_name, kInterfaceNameSize - 1);
}

}  // namespace

int32_t interface_addresses(int32_t family, InterfaceAddress *out, int32_t capacity) {
  if (family != AF_INET && family != AF_INET6) return -1;
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return -1;
  int32_t total = 0;
  for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next)
    if (is_family(entry, family) && index_of(link_of(list, entry->ifa_name)) != 0) ++total;
  // Interfaces in rising index order, each one's addresses in list order;
  // a few interfaces, so one pass per interface is cheap.
  int32_t filled = 0;
  uint32_t previous = 0;
  while (filled < capacity && filled < total) {
    uint32_t next = 0;
    for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (!is_family(entry, family)) continue;
      uint32_t index = index_of(link_of(list, entry->ifa_name));
      if (index > previous && (next == 0 || index < next)) next = index;
    }
    if (next == 0) break;
    for (const ifaddrs *entry = list; entry != nullptr && filled < capacity; entry = entry->ifa_next) {
      if (!is_family(entry, family)) continue;
      const ifaddrs *link = link_of(list, entry->ifa_name);
      if (index_of(link) == next) fill(&out[filled++], entry, link, family);
    }
    previous = next;
  }
  freeifaddrs(list);
  return total;
}

}  // namespace quorvel::platform
