// Host-name lookup through the system's resolver.
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <ws2tcpip.h>

#include <windows.h>

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

// The socket library keeps the entry in storage of the calling thread, so
// the plain call is already safe on several threads at once.
int32_t lookup_host_entry(const char *name, int32_t *family, uint8_t ipv4[4]) {
  const hostent *entry = gethostbyname(name);
  if (entry == nullptr) return -1;
  *family = entry->h_addrtype;
  if (entry->h_addrtype == AF_INET && entry->h_addr_list != nullptr &&
      entry->h_addr_list[0] != nullptr)
    memcpy(ipv4, entry->h_addr_list[0], 4);
  return 0;
}

// The lookup errors are system error codes, so the system's message table
// describes them.  The text is kept per thread, as lookups run on several.
const char *lookup_error_text(int32_t code) {
  thread_local char text[256];
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
      sizeof text, nullptr);
  if (length == 0) return "unknown lookup error";
  // The message ends in a blank where the line break was.
  for (DWORD end = length;
       end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\r' || text[end - 1] == '\n'); --end)
    text[end - 1] = '\0';
  return text;
}

}  // namespace quorvel::platform
