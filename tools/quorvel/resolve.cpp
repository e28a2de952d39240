// quorvel resolve: names looked up on the spot and through the resolver's
// background table, side by side.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel resolve [-4 | -6] [-w MS] [-v] NAME...\n"
    "Resolve each NAME twice: on the spot (the platform resolver, waited for) and\n"
    "through the library's domain table, which a background thread fills.  One\n"
    "line per name and family, the words separated by single spaces:\n"
    "\n"
    "  NAME ipv4 SPOT TABLE   the first IPv4 address of each route, \"-\" for none\n"
    "  NAME ipv6 SPOT TABLE   the same for IPv6\n"
    "  NAME nat64 ADDRESS     the table's IPv4 address in its NAT64 form (the\n"
    "                         prefix learnt from synthesized answers, else\n"
    "                         64:ff9b::); only when the table has an IPv4 address\n"
    "\n"
    "  -4             the ipv4 lines only\n"
    "  -6             the ipv6 and nat64 lines only\n"
    "  -w, --wait MS  how long to wait for the table's answers, in milliseconds\n"
    "                 (default 5000, at most 600000); the table answers without\n"
    "                 waiting, so the tool asks again every 20 ms until each\n"
    "                 name has an answer or the time is up\n"
    "  -v, --verbose  let the library's own warnings through to standard error\n"
    "\n"
    "Exit status 1 when a route found no address of the shown families for a name.\n";

constexpr size_t kText = 64;  // an IPv6 text needs 40 bytes, the NAT64 form 73 at most

struct Answer {
  char spot4[kText], spot6[kText], table4[kText], table6[kText];
};

bool none4(const char *ip) {
  return std::strcmp(ip, "0.0.0.0") == 0;
}
bool none6(const char *ip) {
  return std::strcmp(ip, "::") == 0;
}
bool table_filled(const Answer &a) {
  return !none4(a.table4) || !none6(a.table6);
}

// Asks the table until every name has an answer or wait_ms have passed.
// A known name's result is 0 within 5 s of its re-posting even when its
// texts are filled, so the texts decide, not the result.
void wait_for_table(char **names, int count, Answer *answers, uint32_t wait_ms) {
  Semaphore pause;  // never posted: each wait is a sleep
  SemaphoreInit(&pause, 0);
  const uint32_t start = GetClockTimeStamp();
  for (;;) {
    bool all = true;
    for (int i = 0; i < count; ++i) {
      if (!table_filled(answers[i])) GetAddrByDNS(names[i], answers[i].table4, answers[i].table6);
      all = all && table_filled(answers[i]);
    }
    if (all || GetClockTimeStamp() - start >= wait_ms) break;
    SemaphoreWait(&pause, 20);
  }
  SemaphoreFree(&pause);
}

const char *shown(const char *ip, bool none) {
  return none ? "-" : ip;
}

// Prints the lines of one name; false when a route found nothing shown.
bool show(const char *name, const Answer &a, bool v4, bool v6) {
  bool spot_found = false, table_found = false;
  if (v4) {
    print("%s ipv4 %s %s\n", name, shown(a.spot4, none4(a.spot4)),
          shown(a.table4, none4(a.table4)));
    spot_found = spot_found || !none4(a.spot4);
    table_found = table_found || !none4(a.table4);
  }
  if (v6) {
    print("%s ipv6 %s %s\n", name, shown(a.spot6, none6(a.spot6)),
          shown(a.table6, none6(a.table6)));
    spot_found = spot_found || !none6(a.spot6);
    table_found = table_found || !none6(a.table6);
    char nat64[80];
    if (!none4(a.table4) && IPv4MappedIPv6(nat64, a.table4, QRVL_AF_INET6) == 0)
      print("%s nat64 %s\n", name, nat64);
  }
  if (!spot_found) error(table_found ? "%s: not found on the spot" : "%s: not found", name);
  if (spot_found && !table_found) error("%s: no answer in the domain table in time", name);
  return spot_found && table_found;
}

bool parse_wait(const char *text, uint32_t *ms) {
  if (text[0] == '\0' || std::strspn(text, "0123456789") != std::strlen(text)) return false;
  errno = 0;
  const unsigned long v = std::strtoul(text, nullptr, 10);
  *ms = static_cast<uint32_t>(v);
  return errno == 0 && v <= 600000;
}

}  // namespace

int run_resolve(int argc, char **argv) {
  bool only4 = false, only6 = false, verbose = false;
  const char *wait = nullptr;
  const Option options[] = {{"-4", nullptr, nullptr, &only4},
                            {"-6", nullptr, nullptr, &only6},
                            {"-v", "--verbose", nullptr, &verbose},
                            {"-w", "--wait", &wait, nullptr}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, sizeof options / sizeof options[0], &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands == 0) return usage("which names?");
  if (only4 && only6) return usage("-4 and -6 exclude each other");
  uint32_t wait_ms = 5000;
  if (wait != nullptr && !parse_wait(wait, &wait_ms)) return usage("invalid wait '%s'", wait);
  for (int i = 1; i <= operands; ++i)
    if (argv[i][0] == '\0' || std::strlen(argv[i]) >= 256)
      return usage("invalid name '%s'", argv[i]);

  // The resolver's own lines (fall-backs, failed lookups) repeat what the
  // output says; they are for -v.
  if (!verbose) SetDebugFilter("");
  // Two records per name: no name pushes out another while the tool waits,
  // and the post queue, one entry per record, has room for the re-postings.
  // The table must outlive the resolver, that is the process.
  const auto records = static_cast<uint32_t>(operands) * 2;
  void *table = std::calloc(records, sizeof(DomainRecord));
  if (table == nullptr || SetDomainTable(table, records, sizeof(DomainRecord)) != 0) {
    error("the resolver cannot start");
    return kFailed;
  }
  Buffer storage;
  storage.resize(sizeof(Answer) * static_cast<size_t>(operands));
  auto *answers = reinterpret_cast<Answer *>(storage.data());
  char **names = argv + 1;
  for (int i = 0; i < operands; ++i)  // post every name before waiting on any
    GetAddrByDNS(names[i], answers[i].table4, answers[i].table6);
  for (int i = 0; i < operands; ++i) GetAddrInfox(names[i], answers[i].spot4, answers[i].spot6);
  wait_for_table(names, operands, answers, wait_ms);
  int code = kOk;
  for (int i = 0; i < operands; ++i)
    if (!show(names[i], answers[i], !only6, !only4)) code = kFailed;
  return code;
}

}  // namespace qcli
