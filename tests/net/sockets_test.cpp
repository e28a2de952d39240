// The socket utilities on real kernel sockets, and their messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>

#include "quorvel.h"
#include "support/child_process.hpp"
#include "trace/trace_capture.hpp"

namespace {

using trace_test::take_routed;

constexpr char kBindFailed[] = "Start_UDP_Broadcast_Server() bind() failed!";

class Sockets : public ::testing::Test {
 protected:
  void SetUp() override {
    trace_test::default_settings();
    SetDebugOutput(trace_test::capture_output);  // keeps the failure lines off stderr
    AddDebugInfoRoute(trace_test::capture_route<0>);
    take_routed();
  }
  void TearDown() override {
    DelDebugInfoRoute(trace_test::capture_route<0>);
    SetDebugOutput(nullptr);
  }
};

// The descriptor the next socket would get: a leak shows up as a change.
int next_descriptor() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  close(fd);
  return fd;
}

int option(int s, int name) {
  int value = -1;
  socklen_t length = sizeof value;
  getsockopt(s, SOL_SOCKET, name, &value, &length);
  return value;
}

void expect_one_message(int32_t level, const std::string &message) {
  const auto lines = take_routed();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(std::to_string(lines[0].level) + " " + lines[0].tag + " " + lines[0].message,
            std::to_string(level) + " quorvel " + message);
}

TEST_F(Sockets, BroadcastSocketIsBoundWithBothOptions) {
  const int before = next_descriptor();
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

  // A port held without SO_REUSEADDR makes the bind fail: one message, no
  // socket left open.  Once it is free the same port binds.
  const int holder = socket(AF_INET, SOCK_DGRAM, 0);
  close(s);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
  const int next = next_descriptor();
  EXPECT_EQ(CreateBroadcastSocket(0, port), -1);
  expect_one_message(3, kBindFailed);
  EXPECT_EQ(next_descriptor(), next);
  close(holder);
  const int32_t again = CreateBroadcastSocket(0, port);
  ASSERT_GE(again, 0);
  expect_one_message(4, "Starting UDP Broadcast Server with local port " + std::to_string(port) +
                            " completed");
  close(again);
  EXPECT_EQ(next_descriptor(), before);
}

TEST_F(Sockets, NoDescriptorLeftReportsTheFirstOption) {
  qrvl_test::run_in_child([] {
    const int lowest = next_descriptor();
    const rlimit limit{static_cast<rlim_t>(lowest), static_cast<rlim_t>(lowest)};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(CreateBroadcastSocket(0, 0), -1);
    expect_one_message(3, "Start_UDP_Broadcast_Server() setsockopt(SO_BROADCAST) failed!");
  });
}

TEST_F(Sockets, NonblockAndNoSigpipe) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(fcntl(s, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(SetSocketNonblock(s), 0);
  EXPECT_NE(fcntl(s, F_GETFL) & O_NONBLOCK, 0);
  close(s);
  EXPECT_EQ(SetSocketNonblock(s), -1);  // closed now
  EXPECT_EQ(SetSocketNonblock(-1), -1);
  for (int32_t v : {-1, 0, s, INT_MAX}) EXPECT_EQ(SetSocketNoSIGPIPE(v), 0);
  EXPECT_TRUE(take_routed().empty());
}

}  // namespace
