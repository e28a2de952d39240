// GetDnsIPNum and GetDnsIP: the name servers of the primary adapter.  The
// primary adapter of a family is the one that gives its default gateway
// (for IPv4 the first interface with one, for IPv6 the first running
// interface with one); its servers are the system resolver's of that
// family, since this platform configures them for the host, not per
// interface.  Without a primary adapter there are none.
#include "net/interface_query.hpp"
#include "net/net_startup.hpp"
#include "quorvel/net.h"

namespace quorvel::detail {
namespace {

bool primary_servers(int32_t family, ServerList *servers) {
  platform::ConfigAddress gateway;
  if (!default_gateway(family, &gateway)) return false;
  return servers->fill([family](platform::ConfigAddress *out, int32_t capacity, int32_t *needed) {
    int32_t total = platform::dns_servers(family, out, capacity);
    *needed = total;
    return total < capacity ? total : capacity;
  });
}

}  // namespace
}  // namespace quorvel::detail

using namespace quorvel::detail;

extern "C" int32_t GetDnsIPNum(int32_t family) {
  if (network_startup() != 0 || (family != kIPv4 && family != kIPv6)) return 0;
  ServerList servers;
  return primary_servers(family, &servers) ? servers.count() : 0;
}

// An IPv6 server is formatted straight into out, so a null out fails
// there (-1) while an IPv4 text is only copied when out is given.
extern "C" int32_t GetDnsIP(int32_t family, int32_t index, char *out) {
  int32_t started = network_startup();
  if (started != 0) return started;
  if (family != kIPv4 && family != kIPv6) return -1;
  ServerList servers;
  if (index < 0) index = 0;
  if (!primary_servers(family, &servers) || index >= servers.count()) return -1;
  if (family == kIPv6 && out == nullptr) return -1;
  char text[kWorkTextSize];
  address_text(servers[index], text);
  copy_text(out, text, text_size(family));
  return 0;
}
