// The interface, gateway and name-server queries, each case on a host of
// its own: the test re-runs itself under netns.sh, which builds a network
// namespace with a veth pair, the case's addresses and routes and the
// case's resolv.conf (or none), and the checks then run inside.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "quorvel/net.h"
#include "support/alloc_fault.hpp"
#include "support/child_process.hpp"
#include "support/descriptor_limit.hpp"
#include "support/files.hpp"

namespace {

constexpr int kV4 = AF_INET;
constexpr int kV6 = AF_INET6;

// 300 characters, more than a line of resolv.conf may hold.
#define QRVL_PAD_30 "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
#define QRVL_PAD_300 QRVL_PAD_30 QRVL_PAD_30 QRVL_PAD_30 QRVL_PAD_30 QRVL_PAD_30 \
  QRVL_PAD_30 QRVL_PAD_30 QRVL_PAD_30 QRVL_PAD_30 QRVL_PAD_30
constexpr char kResolvConf[] =
    "search example.test\n"
    "nameserver 192.0.2.53\n"
    "# nameserver 10.9.9.9\n"
    "nameserver 2001:db8::53\n"
    "nameserver\t198.51.100.7  # second\n"
    "nameservers 10.1.1.1\n"          // not the keyword
    "nameserver 10.2.2.2 " QRVL_PAD_300 "\n"  // too long for a line: skipped whole
    "nameserver 10.3.3.3";  // the last line needs no line feed
// One server more than a list holds before it takes the heap, then an
// overlong last line that ends the file without a line feed: no server.
constexpr char kNineServers[] =
    "nameserver 10.8.0.1\nnameserver 10.8.0.2\nnameserver 10.8.0.3\n"
    "nameserver 10.8.0.4\nnameserver 10.8.0.5\nnameserver 10.8.0.6\n"
    "nameserver 10.8.0.7\nnameserver 10.8.0.8\nnameserver 10.8.0.9\n"
    "nameserver 10.4.4.4 " QRVL_PAD_300;

enum Query { kCount, kAddress, kGateway, kSpecific, kDefault, kDnsCount, kDns, kDnsNoBuffer };
// Added to a query, it runs with the library's allocations refused or with
// no descriptor left to open; the host is whole again afterwards.
constexpr int kNoHeap = 0x100, kNoDescriptor = 0x200, kQueryMask = 0xff;

// One query and what it must give: the result, then the address and the
// adapter name (kAddress) it wrote, each left out while untouched, and for
// kDefault the family.
struct Check {
  int query;
  int family;
  std::string want;
  int index = 0;
};

struct Case {
  const char *name;
  std::string setup;  // one ip command per line
  std::vector<Check> checks;
  const char *resolv_conf = kResolvConf;  // null: the host has no /etc/resolv.conf
};

// Named by its name: gtest would otherwise print the record's bytes.
void PrintTo(const Case &c, std::ostream *out) { *out << c.name; }

std::string run(const Check &check) {
  char ip[64] = "untouched", name[300] = "untouched";
  int family = -1, result = 0;
  std::optional<qrvl_test::AllocFault> fault;
  if ((check.query & kNoHeap) != 0) fault.emplace().fail_after(0);
  std::optional<qrvl_test::NoDescriptorLeft> limit;
  if ((check.query & kNoDescriptor) != 0) limit.emplace();
  switch (check.query & kQueryMask) {
    case kCount: result = GetLIPNum(check.family); break;
    case kAddress: result = GetNLIP2(check.family, check.index, ip, name); break;
    case kGateway: result = GetDefaultGateway(check.family, ip); break;
    case kSpecific: result = GetSpecificLIP(check.family, ip); break;
    case kDefault: {
      result = GetDefaultLIP(&family, ip);
      char again[64] = "";  // the family is optional
      EXPECT_EQ(GetDefaultLIP(nullptr, again), result);
      EXPECT_STREQ(again, ip);
      break;
    }
    case kDnsCount: result = GetDnsIPNum(check.family); break;
    case kDns: result = GetDnsIP(check.family, check.index, ip); break;
    case kDnsNoBuffer: result = GetDnsIP(check.family, check.index, nullptr); break;
  }
  limit.reset();
  fault.reset();
  std::string out = std::to_string(result);
  for (const std::string text : {ip, name})
    if (text != "untouched") out += " " + text;
  return (check.query & kQueryMask) == kDefault ? out + " family " + std::to_string(family) : out;
}

// More addresses of each family than a list holds before it takes the heap.
std::string many_addresses() {
  std::string setup = "route add default via 10.0.0.1 dev veth0 onlink\n";
  for (int i = 1; i <= 40; ++i) setup += "addr add 10.0.1." + std::to_string(i) + "/8 dev veth0\n";
  for (int i = 1; i <= 20; ++i)
    setup += "-6 addr add 2001:db8::" + std::to_string(i) + "/64 dev veth0 nodad\n";
  return setup;
}

// Nine default routes through veth0 (metrics 1 to 9): the gateway query
// asks room for every route it reads, more than a list of gateways holds
// before it takes the heap, though the one interface keeps only its best.
std::string nine_routes() {
  std::string setup = "addr add 10.0.0.5/8 dev veth0\n";
  for (int i = 1; i <= 9; ++i) {
    const std::string n = std::to_string(i);
    setup += "route add default via 10.0.0." + n + " dev veth0 metric " + n + "\n";
  }
  return setup;
}

// Ten interfaces, each with an address 10.N.0.5 and a default route via
// 10.N.0.1, N counted in index order (veth1, veth0, then four more pairs,
// each peer made first).  Routes come in metric order: metrics 1 to 8,
// on the ninth- down to the second-lowest index, fill the first attempt's
// table of eight; metric 9, on the highest index, finds it full and is
// left out; metric 10, on the lowest, goes first and pushes the last out.
std::string ten_interfaces() {
  std::string setup;
  for (const std::string pair : {"vb", "vc", "vd", "ve"})
    setup += "link add " + pair + "0 type veth peer name " + pair + "1\nlink set " + pair +
             "0 up\nlink set " + pair + "1 up\n";
  const char *names[] = {"veth1", "veth0", "vb1", "vb0", "vc1", "vc0", "vd1", "vd0", "ve1", "ve0"};
  const int metrics[] = {10, 8, 7, 6, 5, 4, 3, 2, 1, 9};
  for (int i = 0; i < 10; ++i) {
    const std::string net = "10." + std::to_string(i + 1) + ".0.",
                      dev = std::string(" dev ") + names[i];
    setup += "addr add " + net + "5/16" + dev + "\nroute add default via " + net + "1" + dev +
             " metric " + std::to_string(metrics[i]) + "\n";
  }
  return setup;
}

constexpr char kOneGateway[] =
    "addr add 10.0.0.5/8 dev veth0\n"
    "route add default via 10.0.0.1 dev veth0\n";

const Case kCases[] = {
    {"GatewayInTheSecondSubnet",
     "addr add 10.0.0.5/8 dev veth0\n"
     "addr add 192.168.1.5/24 dev veth0\n"
     "route add default via 192.168.1.1 dev veth0\n",
     {{kCount, kV4, "2"}, {kAddress, kV4, "8 10.0.0.5 veth0", -3}, {kAddress, kV4, "24 192.168.1.5 veth0", 1},
      {kAddress, kV4, "-1", 2}, {kGateway, kV4, "0 192.168.1.1"}, {kSpecific, kV4, "24 192.168.1.5"},
      {kDefault, 0, "24 192.168.1.5 family 2"}, {kDnsCount, kV4, "3"}, {kDns, kV4, "0 192.0.2.53"},
      {kDns, kV4, "0 198.51.100.7", 1}, {kDns, kV4, "0 192.0.2.53", -1}, {kDns, kV4, "0 10.3.3.3", 2}, {kDns, kV4, "-1", 3},
      {kDnsNoBuffer, kV4, "0", 1},
      // only ::1 and fe80:: addresses, no IPv6 route
      {kCount, kV6, "0"}, {kAddress, kV6, "-1"}, {kSpecific, kV6, "128 ::"}, {kGateway, kV6, "-1"},
      {kDnsCount, kV6, "0"}, {kCount, 7, "0"}, {kAddress, 7, "-1"}, {kGateway, 7, "-1"},
      {kSpecific, 7, "0 "}, {kDnsCount, 7, "0"}, {kDns, 7, "-1"}}},  // "0 ": an empty address
    {"GatewayOutsideEverySubnet",
     "addr add 10.0.0.5/8 dev veth0\n"
     "addr add 192.168.1.5/24 dev veth0\n"
     "route add default via 172.16.0.1 dev veth0 onlink\n",
     {{kGateway, kV4, "0 172.16.0.1"}, {kSpecific, kV4, "8 10.0.0.5"}, {kDefault, 0, "8 10.0.0.5 family 2"}}},
    {"NoDefaultRoute",
     "addr add 10.0.0.5/8 dev veth0\n",
     {{kCount, kV4, "0"}, {kAddress, kV4, "-1"}, {kGateway, kV4, "-1"}, {kSpecific, kV4, "32 0.0.0.0"},
      {kDefault, 0, "32 0.0.0.0 family 2"}, {kDnsCount, kV4, "0"}, {kDns, kV4, "-1"}}},
    {"ExcludedAddresses",
     "addr add 169.254.7.7/16 dev veth0\n"
     "route add default via 169.254.0.1 dev veth0\n"
     "addr add 127.1.2.3/8 dev veth1\n"
     "addr add 10.1.1.1/8 dev veth1\n"
     "route add default via 10.0.0.1 dev veth1 metric 5\n"
     "-6 addr add fe80::9/64 dev veth0 nodad\n"
     "-6 route add default via fe80::1 dev veth0\n",
     {{kCount, kV4, "1"}, {kAddress, kV4, "8 10.1.1.1 veth1"}, {kGateway, kV4, "0 10.0.0.1"}, {kCount, kV6, "0"},
      {kGateway, kV6, "0 fe80::1"}, {kSpecific, kV6, "128 ::"}, {kDnsCount, kV6, "1"},
      {kDns, kV6, "0 2001:db8::53"}}},
    {"IPv6ThroughOneInterface",
     "-6 addr add 2001:db8:1::7/64 dev veth1 nodad\n"
     "-6 addr add 2001:db8::5/64 dev veth0 nodad\n"
     "-6 route add default via 2001:db8::1 dev veth0\n",
     {{kCount, kV6, "2"}, {kAddress, kV6, "64 2001:db8:1::7 veth1"}, {kAddress, kV6, "64 2001:db8::5 veth0", 1},
      {kGateway, kV6, "0 2001:db8::1"}, {kSpecific, kV6, "64 2001:db8::5"},
      {kDefault, 0, "64 2001:db8::5 family 10"}, {kDnsCount, kV6, "1"}, {kDns, kV6, "0 2001:db8::53"},
      {kDns, kV6, "-1", 1}, {kDnsNoBuffer, kV6, "-1"}, {kCount, kV4, "0"}, {kDnsCount, kV4, "0"}}},
    {"InterfaceNotRunning",  // veth0 loses its carrier when its peer goes down
     "addr add 10.0.0.5/8 dev veth0\n"
     "route add default via 10.0.0.1 dev veth0\n"
     "-6 addr add 2001:db8::5/64 dev veth0 nodad\n"
     "-6 route add default via 2001:db8::1 dev veth0\n"
     "link set veth1 down\n",
     {{kCount, kV4, "1"}, {kCount, kV6, "0"}, {kGateway, kV6, "-1"}, {kDnsCount, kV6, "0"},
      {kSpecific, kV6, "128 ::"}, {kDefault, 0, "8 10.0.0.5 family 2"}}},
    {"MultipathRouteGivesEachHopsInterface",  // veth1 has the lower index
     "addr add 10.0.0.5/8 dev veth0\n"
     "addr add 192.168.1.5/24 dev veth1\n"
     "route add default nexthop via 10.0.0.1 dev veth0 nexthop via 192.168.1.1 dev veth1\n"
     "-6 addr add 2001:db8::5/64 dev veth0 nodad\n"
     "-6 addr add 2001:db8:1::5/64 dev veth1 nodad\n"
     "-6 route add default nexthop via 2001:db8::1 dev veth0 nexthop via 2001:db8:1::1 dev veth1\n",
     {{kCount, kV4, "2"}, {kGateway, kV4, "0 192.168.1.1"}, {kCount, kV6, "2"},
      {kGateway, kV6, "0 2001:db8:1::1"}}},
    {"LowestMetricOfAnInterfaceAndOnlyTheMainTable",
     "addr add 10.0.0.5/8 dev veth0\n"
     "route add default via 10.0.0.1 dev veth0 metric 10\n"
     "route add default via 10.0.0.2 dev veth0 metric 5\n"
     "route add default via 10.0.0.3 dev veth0 metric 1 table 100\n"
     "-6 addr add 2001:db8::5/64 dev veth0 nodad\n"
     "-6 route add default via 2001:db8::1 dev veth0 table 100\n",
     {{kCount, kV4, "1"}, {kGateway, kV4, "0 10.0.0.2"}, {kCount, kV6, "1"}, {kGateway, kV6, "-1"}}},
    {"GatewaysKeptInIndexOrderNotDumpOrder",  // veth1's route (metric 1) is dumped first
     "addr add 10.0.0.5/8 dev veth0\n"
     "addr add 192.168.1.5/24 dev veth1\n"
     "route add default via 10.0.0.1 dev veth0 metric 2\n"
     "route add default via 192.168.1.1 dev veth1 metric 1\n",
     {{kCount, kV4, "2"}, {kGateway, kV4, "0 192.168.1.1"}}},
    {"TosRouteDumpedBeforeALowerMetric",
     "addr add 10.0.0.5/8 dev veth0\n"
     "route add default tos 0x10 via 10.0.0.9 dev veth0 metric 20\n"
     "route add default via 10.0.0.2 dev veth0 metric 5\n",
     {{kCount, kV4, "1"}, {kGateway, kV4, "0 10.0.0.2"}}},
    {"MultipathHopWithoutGateway",
     "addr add 10.0.0.5/8 dev veth0\n"
     "addr add 192.168.1.5/24 dev veth1\n"
     "route add default nexthop dev veth0 realm 5 nexthop via 192.168.1.1 dev veth1\n",
     {{kGateway, kV4, "0 192.168.1.1"}}},
    {"InterfaceWithoutHardwareAddress",  // a TUN device's link entry carries no address
     "tuntap add dev tun0 mode tun\n"
     "link set tun0 up\n"
     "addr add 10.9.0.1/24 dev tun0\n"
     "route add default via 10.9.0.254 dev tun0 onlink\n",
     {{kCount, kV4, "1"}, {kAddress, kV4, "24 10.9.0.1 tun0"}, {kGateway, kV4, "0 10.9.0.254"}}},
    {"InterfaceNamedAsAnotherOnesPrefix",  // "veth" is found past veth1 and veth0
     "link add veth type veth peer name vpeer\n"
     "link set veth up\n"
     "link set vpeer up\n"
     "addr add 10.5.0.5/16 dev veth\n"
     "route add default via 10.5.0.1 dev veth\n",
     {{kCount, kV4, "1"}, {kAddress, kV4, "16 10.5.0.5 veth"}}},
    {"AddressUnderALabel",
     "addr add 10.0.0.6/8 dev veth0 label veth0:1\n"
     "route add default via 10.0.0.1 dev veth0\n",
     {{kCount, kV4, "1"}, {kAddress, kV4, "8 10.0.0.6 veth0"}}},
    {"ManyAddresses",
     many_addresses(),
     {{kCount, kV4, "40"}, {kAddress, kV4, "8 10.0.1.40 veth0", 39}, {kCount | kNoHeap, kV4, "0"},
      {kAddress | kNoHeap, kV4, "-1"}, {kSpecific | kNoHeap, kV4, "32 0.0.0.0"},
      {kCount, kV6, "20"}, {kCount | kNoHeap, kV6, "0"}}},
    {"NineDefaultRoutesThroughOneInterface",
     nine_routes(),
     {{kCount, kV4, "1"}, {kGateway, kV4, "0 10.0.0.1"}, {kCount | kNoHeap, kV4, "0"},
      {kGateway | kNoHeap, kV4, "-1"}}},
    {"TenInterfacesEachWithAGateway",
     ten_interfaces(),
     {{kCount, kV4, "10"}, {kAddress, kV4, "16 10.1.0.5 veth1"},
      {kAddress, kV4, "16 10.10.0.5 ve0", 9}, {kGateway, kV4, "0 10.1.0.1"}}},
    {"NineNameServersAndAnOverlongLastLine",
     kOneGateway,
     {{kDnsCount, kV4, "9"}, {kDns, kV4, "0 10.8.0.1"}, {kDns, kV4, "0 10.8.0.9", 8},
      {kDns, kV4, "-1", 9}},
     kNineServers},
    {"NoResolvConf",
     kOneGateway,
     {{kGateway, kV4, "0 10.0.0.1"}, {kDnsCount, kV4, "0"}, {kDns, kV4, "-1"}},
     nullptr},
    {"NoDescriptorLeft",
     std::string(kOneGateway) + "-6 addr add 2001:db8::5/64 dev veth0 nodad\n",
     {{kCount, kV4, "1"}, {kCount | kNoDescriptor, kV4, "0"}, {kAddress | kNoDescriptor, kV4, "-1"},
      {kGateway, kV4, "0 10.0.0.1"}, {kGateway | kNoDescriptor, kV4, "-1"}, {kCount, kV6, "1"},
      {kCount | kNoDescriptor, kV6, "0"}}},
};

class InterfaceQuery : public testing::TestWithParam<Case> {};

// Runs this very test again inside a host that netns.sh builds.
void run_on_own_host(const Case &host) {
#if defined(QRVL_TEST_EMULATED)
  GTEST_SKIP() << "the namespace host re-runs this program natively: not under a user-mode emulator";
#endif
  const qrvl_test::TempDir dir;
  const std::string resolv_conf = host.resolv_conf != nullptr ? dir / "resolv.conf" : "";
  if (host.resolv_conf != nullptr) std::ofstream(resolv_conf) << host.resolv_conf;
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
  for (const Check &check : host.checks)
    EXPECT_EQ(run(check), check.want) << "query " << check.query << " family " << check.family
                                      << " index " << check.index;
}

INSTANTIATE_TEST_SUITE_P(Hosts, InterfaceQuery, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case> &param) { return std::string(param.param.name); });

}  // namespace
