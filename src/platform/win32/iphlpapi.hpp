// The IP configuration module (iphlpapi.dll) and the lists it gives.
//
// The module is loaded at run time, so that the library loads where it or
// one of its entries is missing; only its record types come from the
// header.  Its lists are fetched the module's way: a call without a buffer
// says how large one must be, a second call fills it.
#pragma once

#include <winsock2.h>  // before windows.h, as the public headers include it
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>  // the record types only: the module is loaded at run time

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace quorvel::platform::iphlp {

// The records as the current systems fill them.  An older system fills a
// shorter version and says how long in Length; reaches() tells whether a
// member is there.
using Adapter = IP_ADAPTER_ADDRESSES_LH;
using Unicast = IP_ADAPTER_UNICAST_ADDRESS_LH;

template <typename Record>
bool reaches(const Record *record, size_t member_end) {
  return record->Length >= member_end;
}

// A list in a zero-filled block of the C heap, released with the object.
class SystemList {
 public:
  SystemList() = default;
  ~SystemList() { free(block_); }
  SystemList(const SystemList &) = delete;
  SystemList &operator=(const SystemList &) = delete;

  // Runs call(buffer, &size) the two-call way: first without a buffer,
  // then with one of the size asked for, again with a larger one while
  // the list keeps growing between the calls.  True when the list was
  // filled or is empty (first() is null then).
  template <typename Call>
  bool fetch(Call call) {
    free(block_);
    block_ = nullptr;
    ULONG size = 0;
    ULONG result = call(nullptr, &size);
    for (int attempt = 0; attempt < kAttempts && grown(result); ++attempt) {
      free(block_);
      block_ = calloc(size != 0 ? size : 1, 1);
      if (block_ == nullptr) return false;
      result = call(block_, &size);
    }
    if (result == NO_ERROR) return true;
    free(block_);
    block_ = nullptr;
    return result == ERROR_NO_DATA;
  }

  template <typename Record>
  const Record *first() const {
    return static_cast<const Record *>(block_);
  }

 private:
  static constexpr int kAttempts = 4;
  static bool grown(ULONG result) {
    return result == ERROR_BUFFER_OVERFLOW || result == ERROR_INSUFFICIENT_BUFFER;
  }
  void *block_ = nullptr;
};

// The IPv4 adapter list (GetAdaptersInfo).  False when the module is not
// usable or the call fails.
bool fetch_adapters_info(SystemList *list);

// One adapter's details (GetPerAdapterInfo).  False as above.
bool fetch_per_adapter_info(ULONG index, SystemList *list);

// What the adapter-address list is asked for: only the lists that are
// read.  Leaving out the name servers matters beyond the size: a system
// may fail the whole IPv6 list when it knows no IPv6 name server.
inline constexpr ULONG kSkipUnread = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST;
inline constexpr ULONG kAdaptersOnly =
    kSkipUnread | GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_DNS_SERVER;
inline constexpr ULONG kUnicastOnly = kSkipUnread | GAA_FLAG_SKIP_DNS_SERVER;
inline constexpr ULONG kGatewaysOnly = kAdaptersOnly | GAA_FLAG_INCLUDE_GATEWAYS;
inline constexpr ULONG kGatewaysAndServers =
    kSkipUnread | GAA_FLAG_SKIP_UNICAST | GAA_FLAG_INCLUDE_GATEWAYS;

// The adapter list with addresses (GetAdaptersAddresses).  False as
// above, and when the module lacks the entry.
bool fetch_adapter_addresses(ULONG family, ULONG flags, SystemList *list);

// Calls visit(adapter) for the adapters of a list in rising order of
// index_of(adapter), adapters of one index in list order.  Each round
// walks the list, so the work grows with the square of its length, which
// is a handful of adapters.
template <typename Record, typename IndexOf, typename Visit>
void for_each_by_index(const Record *list, IndexOf index_of, Visit visit) {
  int64_t previous = -1;
  for (;;) {
    int64_t next = INT64_MAX;
    for (const Record *a = list; a != nullptr; a = a->Next) {
      const int64_t index = index_of(a);
      if (index > previous && index < next) next = index;
    }
    if (next == INT64_MAX) return;
    for (const Record *a = list; a != nullptr; a = a->Next)
      if (index_of(a) == next) visit(a);
    previous = next;
  }
}

// The adapter's interface index for IPv6; systems without IPv6 on the
// adapter leave it 0, then the interface's own index stands.
inline uint32_t ipv6_index(const Adapter *a) {
  return a->Ipv6IfIndex != 0 ? a->Ipv6IfIndex : a->IfIndex;
}

inline bool adapter_up(const Adapter *a) { return a->OperStatus == IfOperStatusUp; }

// The adapter of a list with that interface index, or null.  Older
// systems number IPv6 interfaces apart; the second finds them that way.
inline const Adapter *find_adapter(const Adapter *list, uint32_t index) {
  for (const Adapter *a = list; a != nullptr; a = a->Next)
    if (a->IfIndex == index) return a;
  return nullptr;
}

inline const Adapter *find_ipv6_adapter(const Adapter *list, uint32_t index) {
  for (const Adapter *a = list; a != nullptr; a = a->Next)
    if (ipv6_index(a) == index) return a;
  return nullptr;
}

// The IPv6 address of a socket address, or null when it holds another.
inline const in6_addr *ipv6_of(const SOCKET_ADDRESS &address) {
  if (address.lpSockaddr == nullptr ||
      address.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in6)) ||
      address.lpSockaddr->sa_family != AF_INET6)
    return nullptr;
  return &reinterpret_cast<const sockaddr_in6 *>(address.lpSockaddr)->sin6_addr;
}

// The adapter's first gateway when it is an IPv6 one, else null.
inline const in6_addr *first_ipv6_gateway(const Adapter *a) {
  if (!reaches(a, offsetof(Adapter, FirstGatewayAddress) + sizeof a->FirstGatewayAddress) ||
      a->FirstGatewayAddress == nullptr)
    return nullptr;
  return ipv6_of(a->FirstGatewayAddress->Address);
}

// The address of a text the module gives (a fixed field, terminated
// unless full), converted the way the rest of the library reads IPv4 text.
// False for text that is no address.
bool ipv4_of(const IP_ADDRESS_STRING &text, uint8_t bytes[4]);

// The adapter's first gateway, when it has one: the module says 0.0.0.0
// for none.
inline bool ipv4_gateway(const IP_ADAPTER_INFO *a, uint8_t bytes[4]) {
  const IP_ADDRESS_STRING &text = a->GatewayList.IpAddress;
  return strncmp(text.String, "0.0.0.0", sizeof text.String) != 0 && ipv4_of(text, bytes);
}

}  // namespace quorvel::platform::iphlp
