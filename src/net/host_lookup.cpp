// The synchronous host lookup shared by the resolver thread and
// GetAddrInfox: the platform resolver first, the host-entry lookup when it
// fails.
#include <cstring>

#include "common/library_log.hpp"
#include "net/resolver.hpp"
#include "platform/platform.hpp"

namespace quorvel::detail {

int32_t host_lookup(const char *name, uint8_t ipv4[4], uint8_t ipv6[16]) {
  memset(ipv4, 0, 4);
  memset(ipv6, 0, 16);
  platform::NameAnswers answers;
  const int32_t error = platform::lookup_name(name, &answers);
  if (error == 0) {
    memcpy(ipv4, answers.ipv4, 4);
    memcpy(ipv6, answers.ipv6, 16);
    library_progress("call getaddrinfo()");
    return (answers.has_ipv4 ? 1 : 0) | (answers.has_ipv6 ? 2 : 0);
  }
  library_warning("does not support getaddrinfo()=%d, use gethostbyname() instead!!", error);
  int32_t family = 0;
  if (platform::lookup_host_entry(name, &family, ipv4) != 0) {
    library_error("gethostbyname() fail, and gai_strerror:=[%.1024s]!!",
                  platform::lookup_error_text(error));
    return 0;
  }
  library_progress("call gethostbyname()");
  return family == QRVL_AF_INET ? 1 : 0;
}

}  // namespace quorvel::detail

namespace detail = quorvel::detail;

extern "C" int32_t GetAddrInfox(const char *name, char *ipv4, char *ipv6) {
  if (ipv4 != nullptr) memcpy(ipv4, "0.0.0.0", 8);
  if (ipv6 != nullptr) memcpy(ipv6, "::", 3);
  if (name == nullptr) return 0;
  detail::resolver_startup(nullptr, 0, nullptr);
  uint8_t v4[4];
  uint8_t v6[16];
  const int32_t code = detail::host_lookup(name, v4, v6);
  if (code == 3) detail::learn_nat64_prefix(v4, v6);
  if (ipv4 != nullptr && (code & 1) != 0) inet_ntopx(QRVL_AF_INET, v4, ipv4, 64);
  if (ipv6 != nullptr && (code & 2) != 0) inet_ntopx(QRVL_AF_INET6, v6, ipv6, 64);
  return code;
}
