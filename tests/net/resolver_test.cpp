// The resolver against a real dnsmasq in a namespace of the test's own:
// synchronous lookups and prefix learning, and the domain table's
// posting, hold-back, queue, refresh and record reuse with the resolver
// thread at work.  The NAT64 text and the built-in table need no DNS.
#if !defined(_WIN32)
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#if !defined(_WIN32)
#include "net/dns_namespace.hpp"
#endif
#include "platform/platform.hpp"
#include "quorvel.h"
#include "support/child_process.hpp"

namespace {

// Before any lookup teaches a prefix, the built-in one: the result and the
// text written.  The style is judged up to the first blank, the synthesis
// reads the parts of the whole text (its first 63 characters), so text
// after a blank counts when it holds a dot, and a cut text can lack parts.
TEST(Resolver, SynthesisesWithTheBuiltInPrefix) {
  qrvl_test::run_in_child([] {
    const std::string cut_short = std::string(61, '1') + ".2.3.4";  // cut to "11...1.2"
    const std::tuple<const char *, int32_t, const char *> syntheses[] = {
        {"192.168.1.1", AF_INET6, "0 64:ff9b::c0a8:0101"},
        {"10.0.0.1", AF_INET, "0 10.0.0.1"},
        {"2001:db8::1", AF_INET, "-1 2001:db8::1"},
        {"2001:db8::1", AF_INET6, "0 2001:db8::1"},
        {"1.2.3.4", 99, "-1 "},
        {"host", AF_INET6, "-1 "},
        {"10.0.0.1 x", AF_INET6, "0 64:ff9b::0a00:0001"},  // the last part reads as 1
        {"10.0.0.1 a.b", AF_INET6, "-1 "},                 // a fifth part
        {cut_short.c_str(), AF_INET6, "-1 "},
    };
    for (const auto &[in, family, want] : syntheses) {
      char out[80] = "untouched";
      EXPECT_EQ(std::to_string(IPv4MappedIPv6(out, in, family)) + " " + out, want) << in;
    }
    // NULL texts and outputs: refused or skipped before anything starts.
    char out[80] = "untouched", ipv4[16] = "x", ipv6[40] = "x";
    EXPECT_EQ(IPv4MappedIPv6(nullptr, "1.2.3.4", AF_INET6), -1);
    EXPECT_EQ(IPv4MappedIPv6(out, nullptr, AF_INET6), -1);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(GetAddrInfox(nullptr, ipv4, ipv6), 0);
    EXPECT_EQ(std::string(ipv4) + " " + ipv6, "0.0.0.0 ::");
    EXPECT_EQ(GetAddrInfox(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(GetAddrByDNS(nullptr, nullptr, nullptr), 0);
  });
}

// The system refuses the resolver thread: each call that would start it
// gives its documented failure, and the first call with threads back starts
// it, on the table then given.
TEST(Resolver, ThreadThatCannotStartIsReportedAndTriedAgain) {
  qrvl_test::run_in_child([] {
    static DomainRecord table[4];
    char ipv4[16] = "untouched", ipv6[40] = "untouched", out[80] = "";
    quorvel::platform::fail_thread_starts(3);
    EXPECT_EQ(SetDomainTable(table, sizeof table, 1), -1);
    EXPECT_EQ(GetAddrByDNS("localhost", ipv4, ipv6), 0);
    EXPECT_EQ(std::string(ipv4) + " " + ipv6, "0.0.0.0 ::");
    EXPECT_EQ(IPv4MappedIPv6(out, "10.0.0.1", QRVL_AF_INET6), 0);  // needs no thread
    EXPECT_STREQ(out, "64:ff9b::0a00:0001");
    EXPECT_STREQ(table[0].name, "");

    quorvel::platform::fail_thread_starts(0);
    EXPECT_EQ(SetDomainTable(table, sizeof table, 1), 0);
    EXPECT_EQ(GetAddrByDNS("localhost", ipv4, ipv6), 0);  // queued, nothing stored yet
    EXPECT_STREQ(table[0].name, "localhost");
    EXPECT_EQ(SetDomainTable(nullptr, 0, 0), 0);  // running: nothing changes
  });
}

// Each message as its level, a space and its text.  Never destroyed: the
// resolver thread may still report while the process exits.
std::mutex &g_mutex = *new std::mutex;
std::condition_variable &g_changed = *new std::condition_variable;
std::vector<std::string> &g_messages = *new std::vector<std::string>;

void record(const DebugInfo *info) {
  if (strcmp(info->tag, "quorvel") != 0) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_messages.push_back(std::to_string(info->level) + " " + info->message);
  g_changed.notify_all();
}

void discard(const char *, int32_t) {}

void capture_messages() {
  SetDebugMsgMask(0x1f);
  SetDebugOutput(discard);
  AddDebugInfoRoute(record);
}

std::vector<std::string> messages() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_messages;
}

uint32_t idle_ticks(const DomainRecord &r) {
  return __atomic_load_n(&r.idle_ticks, __ATOMIC_RELAXED);
}

// Polls until ready() holds, 5 s at most.
template <typename Ready>
bool poll_until(Ready ready) {
  for (int i = 0; i < 500 && !ready(); ++i) quorvel::platform::sleep_ms(10);
  return ready();
}

// With nothing posted, each idle pass counts every record while none is
// due.  A due record has its count reset and ends the pass, the records
// after it left uncounted; a free one is not looked up.
TEST(Resolver, IdlePassesCountEveryRecordAndSkipFreeOnes) {
  qrvl_test::run_in_child([] {
    capture_messages();
    static DomainRecord table[3];
    ASSERT_EQ(SetDomainTable(table, sizeof table, 1), 0);
    ASSERT_TRUE(poll_until([] { return idle_ticks(table[2]) >= 1; }));

    __atomic_store_n(&table[1].idle_ticks, 299u, __ATOMIC_RELAXED);
    ASSERT_TRUE(poll_until([] { return idle_ticks(table[1]) < 299; }));
    // Record 2 read first: record 0's count only grows, and stays ahead.
    const uint32_t last = idle_ticks(table[2]);
    EXPECT_GT(idle_ticks(table[0]), last);
    EXPECT_EQ(messages(), std::vector<std::string>{});
    EXPECT_STREQ(table[1].name, "");
  });
}

#if !defined(_WIN32)  // a private DNS world needs Linux namespaces and dnsmasq

size_t count(const std::string &message) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return std::count(g_messages.begin(), g_messages.end(), message);
}

// Waits (20 s at most) until message has been reported n times.
bool wait_for(const std::string &message, size_t n = 1) {
  std::unique_lock<std::mutex> lock(g_mutex);
  return g_changed.wait_for(lock, std::chrono::seconds(20), [&] {
    return static_cast<size_t>(std::count(g_messages.begin(), g_messages.end(), message)) >= n;
  });
}

std::vector<std::string> done_names() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::string> names;
  for (const std::string &m : g_messages)
    if (m.rfind("4 query \"", 0) == 0) names.push_back(m.substr(9, m.find('"', 9) - 9));
  return names;
}

// The messages at their levels: 2 warning, 3 error, 4 debug.
const std::string kFull = "2 post queue is full, please query next time !!";

std::string done(const char *name, int code) {
  return "4 query \"" + std::string(name) + "\" done (" + std::to_string(code) + ") !!";
}

std::string failed_over(int code) {
  return "2 does not support getaddrinfo()=" + std::to_string(code) +
         ", use gethostbyname() instead!!";
}

std::string gave_up(int code) {
  return "3 gethostbyname() fail, and gai_strerror:=[" + std::string(gai_strerror(code)) + "]!!";
}

std::string nat64_of_10_0_0_1() {
  char out[80];
  EXPECT_EQ(IPv4MappedIPv6(out, "10.0.0.1", AF_INET6), 0);
  return out;
}

TEST(Resolver, LooksUpSynchronouslyAndLearnsTheNat64Prefix) {
  QRVL_DNS_WORLD(world);
  capture_messages();
  static DomainRecord table[2];
  ASSERT_EQ(SetDomainTable(table, sizeof(table), 1), 0);

  // Each row after the one before, so the prefix is the last one learnt: the
  // code, the two addresses and 10.0.0.1 synthesised with that prefix.
  const std::pair<const char *, const char *> lookups[] = {
      {"v4.test", "1 192.0.2.1 :: 64:ff9b::0a00:0001"},
      {"nat2.test", "3 192.0.2.34 2001:db8:64::c000:222 2001:db8:64::0a00:0001"},
      {"both.test", "3 192.0.2.10 2001:db8::10 2001:db8:64::0a00:0001"},
      {"mapped.test", "3 192.0.2.5 ::ffff:192.0.2.5 2001:db8:64::0a00:0001"},  // teaches nothing
      {"nat.test", "3 192.0.2.33 64:ff9b::c000:221 64:ff9b::0a00:0001"},
      {"v6.test", "2 0.0.0.0 2001:db8::6 64:ff9b::0a00:0001"},
      {"hosts-only.example", "1 192.0.2.77 :: 64:ff9b::0a00:0001"},
      {"missing.test", "0 0.0.0.0 :: 64:ff9b::0a00:0001"},
  };
  for (const auto &[name, want] : lookups) {
    char ipv4[16] = "x", ipv6[40] = "x";
    const int32_t code = GetAddrInfox(name, ipv4, ipv6);
    EXPECT_EQ(std::to_string(code) + " " + ipv4 + " " + ipv6 + " " + nat64_of_10_0_0_1(), want);
  }
  EXPECT_EQ(count("4 call getaddrinfo()"), 7u);
  EXPECT_EQ(count(failed_over(EAI_NONAME)), 1u);
  EXPECT_EQ(count(gave_up(EAI_NONAME)), 1u);
  EXPECT_TRUE(done_names().empty()) << "GetAddrInfox does not use the table";

  // Of two answers of one family, the one getaddrinfo gives first.
  for (const char *name : {"two4.test", "two6.test"}) {
    addrinfo hints = {}, *list = nullptr;
    hints.ai_socktype = SOCK_DGRAM;
    ASSERT_EQ(getaddrinfo(name, nullptr, &hints, &list), 0) << name;
    std::vector<std::string> answers;
    for (const addrinfo *a = list; a != nullptr; a = a->ai_next) {
      char text[64];
      ASSERT_EQ(
          getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST), 0);
      answers.push_back(text);
    }
    freeaddrinfo(list);
    ASSERT_EQ(answers.size(), 2u) << name;
    const bool ipv4_only = name[3] == '4';
    char ipv4[16] = "x", ipv6[40] = "x";
    const int32_t code = GetAddrInfox(name, ipv4, ipv6);
    EXPECT_EQ(std::to_string(code) + " " + ipv4 + " " + ipv6,
              ipv4_only ? "1 " + answers[0] + " ::" : "2 0.0.0.0 " + answers[0]);
  }

  // A name too long for a record is refused and takes none.
  char ipv4[16] = "x", ipv6[40] = "x";
  EXPECT_EQ(GetAddrByDNS(std::string(256, 'a').c_str(), ipv4, ipv6), 0);
  EXPECT_STREQ(ipv4, "0.0.0.0");
  EXPECT_STREQ(ipv6, "::");
  EXPECT_EQ(GetAddrByDNS(nullptr, ipv4, ipv6), 0);
  EXPECT_EQ(table[0].name[0], '\0');

  // Without outputs the lookup still runs and reports its code; the table
  // answers with the code of the texts it wrote, so 0 when it wrote none.
  EXPECT_EQ(GetAddrInfox("both.test", nullptr, nullptr), 3);
  EXPECT_EQ(GetAddrByDNS("v4.test", nullptr, nullptr), 0);
  ASSERT_TRUE(wait_for(done("v4.test", 1)));
  EXPECT_EQ(GetAddrByDNS("v4.test", nullptr, nullptr), 0);
  EXPECT_STREQ(table[0].name, "v4.test");
}

TEST(Resolver, PostsHoldsBackRefreshesAndReusesRecords) {
  QRVL_DNS_WORLD(world);
  world.open_stall();
  capture_messages();
  // Three records; the fourth lies beyond the table and is never the library's.
  alignas(8) static DomainRecord table[4];
  ASSERT_EQ(SetDomainTable(table, sizeof(DomainRecord), 3), 0);
  strcpy(table[3].name, "both.test");
  char ipv4[16], ipv6[40];

  EXPECT_EQ(GetAddrByDNS("v4.test", ipv4, ipv6), 0);
  EXPECT_STREQ(ipv4, "0.0.0.0");
  ASSERT_TRUE(wait_for(done("v4.test", 1)));
  // Record 1 keeps the resolver thread in its lookup while the queue is
  // worked: nothing below is taken before the stall ends.
  EXPECT_EQ(GetAddrByDNS("slow.test", ipv4, ipv6), 0);
  ASSERT_TRUE(world.stalled_query_arrived());

  enum LastQuery { kAsLeft, kWrapped, kStale };  // what record 0's last query is set to first
  struct Ask {
    const char *name;
    int32_t code;
    const char *ipv4;
    LastQuery last_query;
    size_t full_warnings;
  } const asks[] = {
      {"v4.test", 1, "192.0.2.1", kAsLeft, 0},   // re-posted
      {"v4.test", 0, "192.0.2.1", kAsLeft, 0},   // held back: not posted
      {"v6.test", 0, "0.0.0.0", kAsLeft, 0},     // new: record 2
      {"v6.test", 0, "0.0.0.0", kAsLeft, 0},     // never re-posted before: posted
      {"v4.test", 1, "192.0.2.1", kWrapped, 1},  // later than now: not held back, queue full
      {"v4.test", 1, "192.0.2.1", kStale, 2},    // 6 s ago: not held back, queue full
  };
  for (const Ask &a : asks) {
    if (a.last_query == kWrapped) table[0].last_query = 0xffffffffu;
    if (a.last_query == kStale) table[0].last_query = GetClockTimeStamp() - 6000;
    EXPECT_EQ(GetAddrByDNS(a.name, ipv4, ipv6), a.code) << a.name;
    EXPECT_STREQ(ipv4, a.ipv4) << a.name;
    EXPECT_EQ(count(kFull), a.full_warnings) << a.name;
  }
  EXPECT_NE(table[0].last_query, 0u);
  EXPECT_EQ(table[0].queue_link, 0u);  // the stack holds records 0, 2, 2
  EXPECT_EQ(table[1].queue_link, 2u);
  EXPECT_EQ(table[2].queue_link, 2u);
  // The newest posting, overwritten to point past the table, is dropped.
  table[2].queue_link = 3;

  // The stall ends with both lookup paths failing; then the newest
  // postings come first, the dropped one not looked up.
  ASSERT_TRUE(wait_for(done("v4.test", 1), 2));
  EXPECT_EQ(done_names(), (std::vector<std::string>{"v4.test", "v6.test", "v4.test"}));
  EXPECT_EQ(count(failed_over(EAI_AGAIN)), 1u);
  EXPECT_EQ(count(gave_up(EAI_AGAIN)), 1u);

  // The fourth name takes record 0 over, keeping its last query.
  table[0].last_query = 0xffffffffu;
  EXPECT_EQ(GetAddrByDNS("nat.test", ipv4, ipv6), 0);
  EXPECT_STREQ(table[0].name, "nat.test");
  EXPECT_EQ(table[0].last_query, 0xffffffffu);
  ASSERT_TRUE(wait_for(done("nat.test", 3)));

  // An idle pass counts records 0 and 1 and refreshes record 2, now due.
  __atomic_store_n(&table[2].idle_ticks, 299u, __ATOMIC_RELAXED);
  ASSERT_TRUE(wait_for(done("v6.test", 2), 2));
  EXPECT_LT(__atomic_load_n(&table[2].idle_ticks, __ATOMIC_RELAXED), 299u);
  EXPECT_GE(__atomic_load_n(&table[0].idle_ticks, __ATOMIC_RELAXED), 1u);
  // The refresh came after nat.test was stored; a wrapped tick lets it post.
  EXPECT_EQ(GetAddrByDNS("nat.test", ipv4, ipv6), 3);
  EXPECT_STREQ(ipv6, "64:ff9b::c000:221");
}
#endif

TEST(Resolver, KeepsTheBuiltInTableForTooLittleMemory) {
  qrvl_test::run_in_child([] {
    using Bytes = std::vector<unsigned char>;
    Bytes small(287, 0xaa), later(288, 0xaa);
    EXPECT_EQ(SetDomainTable(small.data(), 1, 287), 0);
    EXPECT_EQ(SetDomainTable(later.data(), 2, 144), 0);  // started already: nothing changes
    EXPECT_EQ(small, Bytes(287, 0xaa));
    EXPECT_EQ(later, Bytes(288, 0xaa));
  });
}

}  // namespace
