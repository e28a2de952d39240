// The socket utilities on real kernel sockets, and their messages.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <winsock2.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/child_process.hpp"
#include "support/descriptor_limit.hpp"
#endif

#include <climits>

#include "quorvel.h"
#include "trace/trace_capture.hpp"

namespace {

using trace_test::take_routed;

constexpr char kBindFailed[] = "Start_UDP_Broadcast_Server() bind() failed!";

#if defined(_WIN32)
void close_socket(int s) { closesocket(static_cast<SOCKET>(s)); }

int open_socket(int type) {
  const SOCKET s = socket(AF_INET, type, 0);
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

// Windows hands out handle values from a free list, not lowest first, so a
// leak shows up in the count of open handles, found by asking after every
// possible value (GetProcessHandleCount is not answered everywhere).
int open_state() {
  int open = 0;
  DWORD flags;
  for (uintptr_t value = 4; value < 0x10000; value += 4)
    open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
  return open;
}

void bind_to_loopback(int s) {
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr *>(&at), sizeof at);
}

// Windows cannot report the mode: a receive on an idle bound datagram
// socket fails at once when it is non-blocking, and only after the receive
// time-out otherwise.
int mode_probe_socket() {
  const int s = open_socket(SOCK_DGRAM);
  const DWORD timeout_ms = 10;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout_ms),
             sizeof timeout_ms);
  bind_to_loopback(s);
  return s;
}

bool nonblocking(int s) {
  char byte;
  return recv(s, &byte, 1, 0) == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK;
}

// Windows lets a socket with SO_REUSEADDR take a port held without it.
void hold_exclusively(int s) {
  const int on = 1;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&on), sizeof on);
}
#else
void close_socket(int s) { close(s); }

int open_socket(int type) { return socket(AF_INET, type, 0); }

// The descriptor the next socket would get: a leak shows up as a change.
int open_state() {
  const int fd = open_socket(SOCK_DGRAM);
  close(fd);
  return fd;
}

int mode_probe_socket() { return open_socket(SOCK_STREAM); }

bool nonblocking(int s) { return (fcntl(s, F_GETFL) & O_NONBLOCK) != 0; }

void hold_exclusively(int) {}  // a port held without SO_REUSEADDR is held
#endif

class Sockets : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const int first = open_socket(SOCK_DGRAM);  // its bind opens a handle the system keeps
    bind_to_loopback(first);
    close_socket(first);
#endif
    trace_test::default_settings();
    SetDebugOutput(trace_test::capture_output);  // keeps the failure lines off stderr
    AddDebugInfoRoute(trace_test::capture_route<0>);
#if defined(_WIN32)
    errlog_w("warm-up");  // the first line's time-zone look-up opens handles the system keeps
#endif
    take_routed();
  }
  void TearDown() override {
    DelDebugInfoRoute(trace_test::capture_route<0>);
    SetDebugOutput(nullptr);
  }
};

int option(int s, int name) {
  int value = -1;
  socklen_t length = sizeof value;
  getsockopt(s, SOL_SOCKET, name, reinterpret_cast<char *>(&value), &length);
  return value;
}

void expect_one_message(int32_t level, const std::string &message) {
  const auto lines = take_routed();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(std::to_string(lines[0].level) + " " + lines[0].tag + " " + lines[0].message,
            std::to_string(level) + " quorvel " + message);
}

TEST_F(Sockets, BroadcastSocketIsBoundWithBothOptions) {
  const int before = open_state();
  const int32_t s = CreateBroadcastSocket(12345, 0);
  ASSERT_GE(s, 0);
  expect_one_message(4, "Starting UDP Broadcast Server with local port 0 completed");
  for (int name : {SO_BROADCAST, SO_REUSEADDR}) EXPECT_EQ(option(s, name), 1) << name;
  EXPECT_EQ(option(s, SO_TYPE), SOCK_DGRAM);
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&local), &length), 0);
  EXPECT_EQ(local.sin_family, AF_INET);
  EXPECT_EQ(local.sin_addr.s_addr, htonl(INADDR_ANY));
  const uint16_t port = ntohs(local.sin_port);
  EXPECT_NE(port, 0);

  // A port held by a socket that does not share it makes the bind fail:
  // one message, no socket left open.  Once it is free the same port binds.
  const int holder = open_socket(SOCK_DGRAM);
  close_socket(s);
  hold_exclusively(holder);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
  const int next = open_state();
  EXPECT_EQ(CreateBroadcastSocket(0, port), -1);
  expect_one_message(3, kBindFailed);
  EXPECT_EQ(open_state(), next);
  close_socket(holder);
  const int32_t again = CreateBroadcastSocket(0, port);
  ASSERT_GE(again, 0);
  expect_one_message(4, "Starting UDP Broadcast Server with local port " + std::to_string(port) +
                            " completed");
  close_socket(again);
  EXPECT_EQ(open_state(), before);
}

#if !defined(_WIN32)  // Windows has no per-process limit on sockets to lower
TEST_F(Sockets, NoDescriptorLeftReportsTheFirstOption) {
  qrvl_test::run_in_child([] {
    {
      const qrvl_test::NoDescriptorLeft limit;
      EXPECT_EQ(CreateBroadcastSocket(0, 0), -1);
    }
    expect_one_message(3, "Start_UDP_Broadcast_Server() setsockopt(SO_BROADCAST) failed!");
  });
}
#endif

TEST_F(Sockets, NonblockAndNoSigpipe) {
  const int s = mode_probe_socket();
  ASSERT_FALSE(nonblocking(s));
  EXPECT_EQ(SetSocketNonblock(s), 0);
  EXPECT_TRUE(nonblocking(s));
  close_socket(s);
  EXPECT_EQ(SetSocketNonblock(s), -1);  // closed now
  EXPECT_EQ(SetSocketNonblock(-1), -1);
  for (int32_t v : {-1, 0, s, INT_MAX}) EXPECT_EQ(SetSocketNoSIGPIPE(v), 0);
  EXPECT_TRUE(take_routed().empty());
}

}  // namespace
