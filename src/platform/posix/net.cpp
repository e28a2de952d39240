// Sockets and the IPv4 text conversion.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/platform.hpp"

namespace quorvel::platform {

static_assert(QRVL_AF_INET == 2 && QRVL_AF_INET6 == 10);
static_assert(sizeof(sockaddr_in) == 16 && sizeof(sockaddr_in6) == 28 && sizeof(mixaddr) == 28);
static_assert(kIpv4Rejected == INADDR_NONE);

int32_t socket_layer_start() { return 0; }

namespace {

// Plain dotted decimal without leading zeros ("192.168.1.1"), the text
// nearly every caller passes, read without the C library's strtoul-based
// scan.  Returns false for anything else, which inet_addr() then reads;
// both give the same value for every text this accepts.
bool dotted_decimal(const char *text, uint32_t *address) {
  uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    uint32_t octet = static_cast<uint8_t>(*text++) - uint32_t{'0'};
    if (octet > 9) return false;
    for (int more = 0; more < 2; ++more) {
      const uint32_t digit = static_cast<uint8_t>(*text) - uint32_t{'0'};
      if (digit > 9) break;
      if (octet == 0) return false;  // a leading zero: octal for inet_addr()
      octet = octet * 10 + digit;
      ++text;
    }
    if (octet > 255) return false;
    value = value << 8 | octet;
    if (*text++ != (part < 3 ? '.' : '\0')) return false;  // a fourth digit lands here too
  }
  *address = htonl(value);
  return true;
}

}  // namespace

uint32_t ipv4_text_to_address(const char *text) {
  uint32_t address;
  if (dotted_decimal(text, &address)) return address;
  return inet_addr(text);
}

Socket udp_socket_open() { return socket(AF_INET, SOCK_DGRAM, 0); }

int32_t socket_set_option(Socket s, SocketOption option, int32_t value) {
  const int name = option == SocketOption::kBroadcast ? SO_BROADCAST : SO_REUSEADDR;
  return setsockopt(s, SOL_SOCKET, name, &value, sizeof value);
}

int32_t socket_bind(Socket s, const mixaddr *address, int32_t length) {
  return bind(s, &address->sa, static_cast<socklen_t>(length));
}

void socket_close(Socket s) { close(s); }

int32_t socket_set_nonblocking(Socket s, uint32_t on) {
  int value = on != 0 ? 1 : 0;
  return ioctl(s, FIONBIO, &value);
}

uint16_t host_to_network_u16(uint16_t value) { return htons(value); }

}  // namespace quorvel::platform
