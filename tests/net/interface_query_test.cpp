// The interface, gateway and name-server queries, each case on a host of
// its own: the test re-runs itself under netns.sh, which builds a network
// namespace with a veth pair, the case's addresses and routes and a
// resolv.conf of this test's, and the checks then run inside.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "quorvel/net.h"
#include "support/alloc_fault.hpp"
#include "support/child_process.hpp"
#include "support/files.hpp"

namespace {

constexpr int kV4 = AF_INET;
constexpr int kV6 = AF_INET6;
constexpr char kUntouched[] = "untouched";

constexpr char kResolvConf[] =
    "search example.test\n"
    "nameserver 192.0.2.53\n"
    "# nameserver 10.9.9.9\n"
    "nameserver 2001:db8::53\n"
    "nameserver\t198.51.100.7  # second\n";

enum class Query { kCount, kAddress, kGateway, kSpecific, kDefault, kDnsCount, kDns, kDnsNoBuffer, kCountNoHeap };

// One query and what it must give: the result, the text written (or
// kUntouched) and, for kAddress the adapter name, for kDefault the family.
struct Check {
  Query query;
  int family;
  int index;
  int result;
  std::string text;
  std::string extra;
};

struct Case {
  const char *name;
  std::string setup;  // one ip command per line
  std::vector<Check> checks;
};

Check count(int family, int n) { return {Query::kCount, family, 0, n, kUntouched, ""}; }
Check address(int family, int index, int prefix, std::string ip, std::string adapter) {
  return {Query::kAddress, family, index, prefix, ip, adapter};
}
Check no_address(int family, int index) { return address(family, index, -1, kUntouched, kUntouched); }
Check gateway(int family, int result, std::string text = kUntouched) {
  return {Query::kGateway, family, 0, result, text, ""};
}
Check specific(int family, int prefix, std::string ip) { return {Query::kSpecific, family, 0, prefix, ip, ""}; }
Check default_lip(int prefix, std::string ip, int family) {
  return {Query::kDefault, 0, 0, prefix, ip, std::to_string(family)};
}
Check dns_count(int family, int n) { return {Query::kDnsCount, family, 0, n, kUntouched, ""}; }
Check dns(int family, int index, int result, std::string text = kUntouched) {
  return {Query::kDns, family, index, result, text, ""};
}
Check dns_no_buffer(int family, int index, int result) {
  return {Query::kDnsNoBuffer, family, index, result, kUntouched, ""};
}

void run(const Check &check, int *result, std::string *text, std::string *extra) {
  char ip[64] = "untouched", name[300] = "untouched";
  int family = -1;
  switch (check.query) {
    case Query::kCount: *result = GetLIPNum(check.family); break;
    case Query::kAddress: *result = GetNLIP2(check.family, check.index, ip, name); break;
    case Query::kGateway: *result = GetDefaultGateway(check.family, ip); break;
    case Query::kSpecific: *result = GetSpecificLIP(check.family, ip); break;
    case Query::kDefault: *result = GetDefaultLIP(&family, ip); break;
    case Query::kDnsCount: *result = GetDnsIPNum(check.family); break;
    case Query::kDns: *result = GetDnsIP(check.family, check.index, ip); break;
    case Query::kDnsNoBuffer: *result = GetDnsIP(check.family, check.index, nullptr); break;
    case Query::kCountNoHeap: {
      qrvl_test::AllocFault fault;
      fault.fail_after(0);
      *result = GetLIPNum(check.family);
      break;
    }
  }
  *text = ip;
  *extra = check.query == Query::kAddress ? name : check.query == Query::kDefault ? std::to_string(family) : "";
}

std::string many_addresses() {
  std::string setup = "route add default via 10.0.0.1 dev veth0 onlink\n";
  for (int i = 1; i <= 40; ++i) setup += "addr add 10.0.1." + std::to_string(i) + "/8 dev veth0\n";
  return setup;
}

const Case kCases[] = {
    {"GatewayInTheSecondSubnet",
     "addr add 10.0.0.5/8 dev veth0\n"
     "addr add 192.168.1.5/24 dev veth0\n"
     "route add default via 192.168.1.1 dev veth0\n",
     {count(kV4, 2), address(kV4, -3, 8, "10.0.0.5", "veth0"), address(kV4, 1, 24, "192.168.1.5", "veth0"),
      no_address(kV4, 2), gateway(kV4, 0, "192.168.1.1"), specific(kV4, 24, "192.168.1.5"),
      default_lip(24, "192.168.1.5", kV4), dns_count(kV4, 2), dns(kV4, 0, 0, "192.0.2.53"),
      dns(kV4, 1, 0, "198.51.100.7"), dns(kV4, 2, -1), dns_no_buffer(kV4, 1, 0),
      // only ::1 and fe80:: addresses, no IPv6 route
      count(kV6, 0), no_address(kV6, 0), specific(kV6, 128, "::"), gateway(kV6, -1), dns_count(kV6, 0),
      count(7, 0), no_address(7, 0), gateway(7, -1), specific(7, 0, ""), dns_count(7, 0), dns(7, 0, -1)}},
    {"GatewayOutsideEverySubnet",
     "addr add 10.0.0.5/8 dev veth0\n"
     "addr add 192.168.1.5/24 dev veth0\n"
     "route add default via 172.16.0.1 dev veth0 onlink\n",
     {gateway(kV4, 0, "172.16.0.1"), specific(kV4, 8, "10.0.0.5"), default_lip(8, "10.0.0.5", kV4)}},
    {"NoDefaultRoute",
     "addr add 10.0.0.5/8 dev veth0\n",
     {count(kV4, 0), no_address(kV4, 0), gateway(kV4, -1), specific(kV4, 32, "0.0.0.0"),
      default_lip(32, "0.0.0.0", kV4), dns_count(kV4, 0), dns(kV4, 0, -1)}},
    {"ExcludedAddresses",
     "addr add 169.254.7.7/16 dev veth0\n"
     "route add default via 169.254.0.1 dev veth0\n"
     "addr add 127.1.2.3/8 dev veth1\n"
     "addr add 10.1.1.1/8 dev veth1\n"
     "route add default via 10.0.0.1 dev veth1 metric 5\n"
     "-6 addr add fe80::9/64 dev veth0 nodad\n"
     "-6 route add default via fe80::1 dev veth0\n",
     {count(kV4, 1), address(kV4, 0, 8, "10.1.1.1", "veth1"), gateway(kV4, 0, "10.0.0.1"),
      count(kV6, 0), gateway(kV6, 0, "fe80::1"), specific(kV6, 128, "::"), dns_count(kV6, 1),
      dns(kV6, 0, 0, "2001:db8::53")}},
    {"IPv6ThroughOneInterface",
     "-6 addr add 2001:db8:1::7/64 dev veth1 nodad\n"
     "-6 addr add 2001:db8::5/64 dev veth0 nodad\n"
     "-6 route add default via 2001:db8::1 dev veth0\n",
     {count(kV6, 2), address(kV6, 0, 64, "2001:db8:1::7", "veth1"), address(kV6, 1, 64, "2001:db8::5", "veth0"),
      gateway(kV6, 0, "2001:db8::1"), specific(kV6, 64, "2001:db8::5"), default_lip(64, "2001:db8::5", kV6),
      dns_count(kV6, 1), dns(kV6, 0, 0, "2001:db8::53"), dns(kV6, 1, -1), dns_no_buffer(kV6, 0, -1),
      count(kV4, 0), dns_count(kV4, 0)}},
    {"InterfaceNotRunning",  // veth0 loses its carrier when its peer goes down
     "addr add 10.0.0.5/8 dev veth0\n"
     "route add default via 10.0.0.1 dev veth0\n"
     "-6 addr add 2001:db8::5/64 dev veth0 nodad\n"
     "-6 route add default via 2001:db8::1 dev veth0\n"
     "link set veth1 down\n",
     {count(kV4, 1), count(kV6, 0), gateway(kV6, -1), dns_count(kV6, 0), specific(kV6, 128, "::"),
      default_lip(8, "10.0.0.5", kV4)}},
    {"ManyAddresses",
     many_addresses(),
     {count(kV4, 40), address(kV4, 39, 8, "10.0.1.40", "veth0"), {Query::kCountNoHeap, kV4, 0, 0, kUntouched, ""}}},
};

class InterfaceQuery : public testing::TestWithParam<Case> {};

// Runs this very test again inside a host that netns.sh builds.
void run_on_own_host(const Case &host) {
#if defined(QRVL_TEST_EMULATED)
  GTEST_SKIP() << "the namespace host re-runs this program natively: not under a user-mode emulator";
#endif
  const qrvl_test::TempDir dir;
  const std::string resolv_conf = dir / "resolv.conf";
  std::ofstream(resolv_conf) << kResolvConf;
  const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
  std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  std::string script = QRVL_TEST_SOURCE_DIR "/tests/net/netns.sh";
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  const qrvl_test::ChildResult r = qrvl_test::run_child([&] {
    execl("/bin/sh", "sh", script.c_str(), resolv_conf.c_str(), host.setup.c_str(), self, filter.c_str(), nullptr);
    qrvl_test::child_exit(127);
  });
  if (r.status == "exit 77") GTEST_SKIP() << "no network namespace host on this machine (see above)";
  EXPECT_EQ(r.status, "exit 0") << "the checks on the case's host failed (see above)";
}

TEST_P(InterfaceQuery, AnswersOnItsHost) {
  const Case &host = GetParam();
  const char *inside = getenv("QRVL_NETNS");
  if (inside == nullptr || std::string(inside) != "1") return run_on_own_host(host);
  for (const Check &check : host.checks) {
    int result = 0;
    std::string text, extra;
    run(check, &result, &text, &extra);
    SCOPED_TRACE(testing::Message() << "query " << static_cast<int>(check.query) << " family " << check.family
                                    << " index " << check.index);
    EXPECT_EQ(result, check.result);
    EXPECT_EQ(text, check.text);
    EXPECT_EQ(extra, check.extra);
  }
}

INSTANTIATE_TEST_SUITE_P(Hosts, InterfaceQuery, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case> &param) { return std::string(param.param.name); });

}  // namespace
