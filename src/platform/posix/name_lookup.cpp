// Host-name lookup through the C library's resolver.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "platform/platform.hpp"

namespace quorvel::platform {

int32_t lookup_name(const char *name, NameAnswers *answers) {
  memset(answers, 0, sizeof(*answers));
  addrinfo hints;
  memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  hints.ai_flags = AI_ALL;
  addrinfo *list = nullptr;
  const int code = getaddrinfo(name, nullptr, &hints, &list);
  if (code != 0) return code;
  for (const addrinfo *a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && !answers->has_ipv4 && a->ai_addrlen >= sizeof(sockaddr_in)) {
      memcpy(answers->ipv4, &reinterpret_cast<const sockaddr_in *>(a->ai_addr)->sin_addr, 4);
      answers->has_ipv4 = true;
    } else if (a->ai_family == AF_INET6 && !answers->has_ipv6 &&
               a->ai_addrlen >= sizeof(sockaddr_in6)) {
      memcpy(answers->ipv6, &reinterpret_cast<const sockaddr_in6 *>(a->ai_addr)->sin6_addr, 16);
      answers->has_ipv6 = true;
    }
    if (answers->has_ipv4 && answers->has_ipv6) break;
  }
  freeaddrinfo(list);
  return 0;
}

// The entry's texts and address list live in buffer; 4 KiB holds a host
// with dozens of aliases and addresses.  A larger entry (ERANGE) counts as
// no entry rather than a reason to allocate.
int32_t lookup_host_entry(const char *name, int32_t *family, uint8_t ipv4[4]) {
  hostent entry;
  hostent *result = nullptr;
  char buffer[4096];
  int h_error = 0;
  if (gethostbyname_r(name, &entry, buffer, sizeof(buffer), &result, &h_error) != 0 ||
      result == nullptr) {
    return -1;
  }
  *family = result->h_addrtype;
  if (result->h_addrtype == AF_INET && result->h_addr_list[0] != nullptr) {
    memcpy(ipv4, result->h_addr_list[0], 4);
  }
  return 0;
}

const char *lookup_error_text(int32_t code) { return gai_strerror(code); }

}  // namespace quorvel::platform
