// Sockets and the IPv4 text conversion on the system's socket library.
//
// A Socket carries a SOCKET in 32 bits.  A SOCKET is a handle of the
// system's, and the system keeps handle values within 32 bits so that 32-
// and 64-bit processes can share them: narrowing loses nothing, and
// widening back with the sign restores every handle, INVALID_SOCKET (all
// ones) from kNoSocket (-1) included.
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <ws2tcpip.h>

#include "platform/platform.hpp"

namespace quorvel::platform {
namespace {

static_assert(QRVL_AF_INET == 2 && QRVL_AF_INET6 == 23);
static_assert(sizeof(sockaddr_in) == 16 && sizeof(sockaddr_in6) == 28 && sizeof(mixaddr) == 28);
static_assert(kIpv4Rejected == INADDR_NONE);

SOCKET handle(Socket s) { return static_cast<SOCKET>(static_cast<intptr_t>(s)); }

}  // namespace

// The process never calls WSACleanup: the layer stays up for its life, so
// starting it again (each start counts) costs nothing worth undoing.
int32_t socket_layer_start() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

uint32_t ipv4_text_to_address(const char *text) { return inet_addr(text); }

Socket udp_socket_open() {
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(static_cast<intptr_t>(s));
}

int32_t socket_set_option(Socket s, SocketOption option, int32_t value) {
  const int name = option == SocketOption::kBroadcast ? SO_BROADCAST : SO_REUSEADDR;
  return setsockopt(handle(s), SOL_SOCKET, name, reinterpret_cast<const char *>(&value),
                    sizeof value);
}

int32_t socket_bind(Socket s, const mixaddr *address, int32_t length) {
  return bind(handle(s), &address->sa, length);
}

void socket_close(Socket s) { closesocket(handle(s)); }

int32_t socket_set_nonblocking(Socket s, uint32_t on) {
  u_long value = on != 0 ? 1 : 0;
  return ioctlsocket(handle(s), FIONBIO, &value);
}

uint16_t host_to_network_u16(uint16_t value) { return htons(value); }

}  // namespace quorvel::platform
