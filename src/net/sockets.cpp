// Socket utilities for callers: non-blocking mode and a ready-bound UDP
// broadcast socket (the broken-pipe switch is one function with TryScanf).
#include <cstdint>
#include <cstring>

#include "common/library_log.hpp"
#include "platform/platform.hpp"
#include "quorvel/net.h"

namespace {

namespace platform = quorvel::platform;

constexpr char kBroadcastOptionFailed[] =
    "Start_UDP_Broadcast_Server() setsockopt(SO_BROADCAST) failed!";
constexpr char kReuseOptionFailed[] =
    "Start_UDP_Broadcast_Server() setsockopt(SO_REUSEADDR) failed!";
constexpr char kBindFailed[] = "Start_UDP_Broadcast_Server() bind() failed!";
constexpr char kBroadcastReady[] = "Starting UDP Broadcast Server with local port %d completed";

int32_t give_up(platform::Socket s, const char *message) {
  quorvel::detail::library_error("%s", message);
  if (s != platform::kNoSocket) platform::socket_close(s);
  return platform::kNoSocket;
}

}  // namespace

extern "C" QRVL_API int32_t SetSocketNonblock(int32_t s) {
  return platform::socket_set_nonblocking(s, 1) < 0 ? -1 : 0;
}

extern "C" QRVL_API int32_t CreateBroadcastSocket(int32_t, uint16_t local_port) {
  // A failed creation is caught by the first option call on the bad handle.
  const platform::Socket s = platform::udp_socket_open();
  if (platform::socket_set_option(s, platform::SocketOption::kBroadcast, 1) < 0)
    return give_up(s, kBroadcastOptionFailed);
  if (platform::socket_set_option(s, platform::SocketOption::kReuseAddress, 1) != 0)
    return give_up(s, kReuseOptionFailed);
  mixaddr local;
  std::memset(&local, 0, sizeof local);
  local.v4.sin_family = QRVL_AF_INET;
  local.v4.sin_port = platform::host_to_network_u16(local_port);
  if (platform::socket_bind(s, &local, 16) < 0) return give_up(s, kBindFailed);
  quorvel::detail::library_progress(kBroadcastReady, static_cast<int>(local_port));
  return s;
}
