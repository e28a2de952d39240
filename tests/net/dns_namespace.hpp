// A private DNS world for resolver tests: the test re-runs itself inside a
// new user, network and mount namespace (unshare -rnm), brings up lo,
// bind-mounts its own resolv.conf and hosts file and runs dnsmasq in the
// foreground on 127.0.0.1:53.  Names under .test are dnsmasq's alone;
// slow.test goes on to 127.0.0.1:5300, where the test may hold a socket
// that never answers, so its lookups stall for the 2 s time-out.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "support/child_process.hpp"
#include "support/files.hpp"

namespace net_test {

inline const char kInside[] = "QRVL_DNS_NAMESPACE";
inline const char kDnsmasq[] = "/usr/sbin/dnsmasq";
inline const char kConfig[] =
    "listen-address=127.0.0.1\nbind-interfaces\nport=53\nno-resolv\nno-hosts\nno-poll\n"
    "local=/test/\n"
    "address=/v4.test/192.0.2.1\naddress=/v6.test/2001:db8::6\n"
    "address=/nat.test/192.0.2.33\naddress=/nat.test/64:ff9b::c000:221\n"
    "address=/nat2.test/192.0.2.34\naddress=/nat2.test/2001:db8:64::c000:222\n"
    "address=/both.test/192.0.2.10\naddress=/both.test/2001:db8::10\n"
    "address=/two4.test/192.0.2.21\naddress=/two4.test/192.0.2.22\n"
    "address=/two6.test/2001:db8::21\naddress=/two6.test/2001:db8::22\n"
    "address=/mapped.test/192.0.2.5\naddress=/mapped.test/::ffff:192.0.2.5\n"
    "server=/slow.test/127.0.0.1#5300\n";

using qrvl_test::read_file;

// Outside the namespace: runs the current test again inside one, for at
// most timeout_seconds.
inline void rerun_in_namespace(int timeout_seconds = 120) {
#if defined(QRVL_TEST_EMULATED)
  GTEST_SKIP() << "the namespace host re-runs this program natively: not under a user-mode emulator";
#endif
  if (access(kDnsmasq, X_OK) != 0) GTEST_SKIP() << "no dnsmasq (apt-get install dnsmasq-base)";
  if (system("unshare -rnm ip link set lo up > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "unshare -rnm or ip (iproute2) does not work here";
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter =
      std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
  char self[PATH_MAX] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
  qrvl_test::run_in_child([&] {
    setenv(kInside, "1", 1);
    execlp("unshare", "unshare", "-rnm", "--", self, filter.c_str(), static_cast<char *>(nullptr));
    qrvl_test::child_exit(127);
  }, {false, false, timeout_seconds});
}

// Inside the namespace: the files, the mounts and dnsmasq, stopped at the end.
class DnsWorld {
 public:
  ~DnsWorld() {
    if (dnsmasq_ > 0) {
      kill(dnsmasq_, SIGTERM);
      waitpid(dnsmasq_, nullptr, 0);
    }
    if (stall_ >= 0) close(stall_);
  }

  void start() {
    std::ofstream(dir_ / "resolv.conf") << "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n";
    std::ofstream(dir_ / "hosts") << "127.0.0.1 localhost\n192.0.2.77 hosts-only.example\n";
    std::ofstream(dir_ / "dnsmasq.conf") << kConfig;
    ASSERT_EQ(system("ip link set lo up"), 0);
    // A bind mount ignores the type; "none" rather than null keeps memcheck quiet.
    ASSERT_EQ(mount((dir_ / "resolv.conf").c_str(), "/etc/resolv.conf", "none", MS_BIND, nullptr), 0);
    ASSERT_EQ(mount((dir_ / "hosts").c_str(), "/etc/hosts", "none", MS_BIND, nullptr), 0);
    const std::string conf = "--conf-file=" + (dir_ / "dnsmasq.conf"), log = dir_ / "log";
    const std::string facility = "--log-facility=" + log;
    dnsmasq_ = fork();
    if (dnsmasq_ == 0) {
      freopen("/dev/null", "w", stderr);
      execl(kDnsmasq, "dnsmasq", "-d", conf.c_str(), facility.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200 && read_file(log).find("started, version") == std::string::npos; ++i)
      usleep(100 * 1000);
    ASSERT_NE(read_file(log).find("started, version"), std::string::npos) << read_file(log);
  }

  // Opens the socket slow.test is forwarded to; it never answers.
  void open_stall() {
    stall_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(5300);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(stall_, reinterpret_cast<sockaddr *>(&at), sizeof(at)), 0);
  }

  // True once a slow.test query has arrived: its lookup now waits for the time-out.
  bool stalled_query_arrived() {
    pollfd p = {stall_, POLLIN, 0};
    char packet[512];
    return poll(&p, 1, 20000) == 1 && recv(stall_, packet, sizeof(packet), 0) > 0;
  }

 private:
  qrvl_test::TempDir dir_;
  pid_t dnsmasq_ = -1;
  int stall_ = -1;
};

}  // namespace net_test

// Opens a test body that runs inside the namespace with dnsmasq up; the
// second form bounds the run by other than 120 s.
#define QRVL_DNS_WORLD(world) QRVL_DNS_WORLD_WITHIN(world, 120)
#define QRVL_DNS_WORLD_WITHIN(world, seconds)   \
  if (getenv(net_test::kInside) == nullptr) {   \
    net_test::rerun_in_namespace(seconds);      \
    return;                                     \
  }                                             \
  net_test::DnsWorld world;                     \
  world.start();                                \
  if (::testing::Test::HasFatalFailure()) return
