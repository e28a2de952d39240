// quorvel net: what the library sees of this host's network, one fact per
// line, for IPv4 and IPv6.
#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel net [-4 | -6]\n"
    "Show this host's network as the library sees it, one fact per line, the\n"
    "words separated by single spaces:\n"
    "\n"
    "  ipv4 address ADDRESS/PREFIX ADAPTER   each usable local address\n"
    "  ipv4 gateway ADDRESS                  the default gateway (\"none\" without one)\n"
    "  ipv4 local ADDRESS/PREFIX             the default local address of the family\n"
    "  ipv4 dns ADDRESS                      each name server of the family\n"
    "  ...the same lines for ipv6, then\n"
    "  default ADDRESS/PREFIX ipv4|ipv6      the address a program presents as its own\n"
    "\n"
    "An IPv4 address counts as usable on an adapter with a default gateway, an IPv6\n"
    "address on an adapter that is up and running; loopback, link-local and unset\n"
    "addresses never count.  Name servers are listed for a family only when it has\n"
    "a default gateway.  Without a local address the local and default lines read\n"
    "0.0.0.0/32 (ipv4) and ::/128 (ipv6).\n"
    "\n"
    "  -4  IPv4 lines only (and no default line)\n"
    "  -6  IPv6 lines only (and no default line)\n";

const char *family_word(int32_t family) {
  return family == QRVL_AF_INET6 ? "ipv6" : "ipv4";
}

// Texts of either family and adapter names fit 260 bytes with their NUL.
void show_family(int32_t family) {
  const char *word = family_word(family);
  char ip[260], adapter[260];
  const int32_t count = GetLIPNum(family);
  for (int32_t i = 0; i < count; ++i) {
    ip[0] = adapter[0] = '\0';
    const int32_t prefix = GetNLIP2(family, i, ip, adapter);
    if (prefix < 0) continue;  // the address went away between the two calls
    print("%s address %s/%d %s\n", word, ip, prefix, adapter);
  }
  char gateway[260] = "";
  print("%s gateway %s\n", word, GetDefaultGateway(family, gateway) == 0 ? gateway : "none");
  ip[0] = '\0';
  const int32_t prefix = GetSpecificLIP(family, ip);
  print("%s local %s/%d\n", word, ip, prefix);
  const int32_t servers = GetDnsIPNum(family);
  for (int32_t i = 0; i < servers; ++i) {
    char server[260] = "";
    if (GetDnsIP(family, i, server) == 0) print("%s dns %s\n", word, server);
  }
}

}  // namespace

int run_net(int argc, char **argv) {
  bool only4 = false, only6 = false;
  const Option options[] = {{"-4", nullptr, nullptr, &only4}, {"-6", nullptr, nullptr, &only6}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, sizeof options / sizeof options[0], &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands != 0) return usage("no operands expected");
  if (only4 && only6) return usage("-4 and -6 exclude each other");
  if (!only6) show_family(QRVL_AF_INET);
  if (!only4) show_family(QRVL_AF_INET6);
  if (!only4 && !only6) {
    int32_t family = QRVL_AF_INET;
    char ip[260] = "";
    const int32_t prefix = GetDefaultLIP(&family, ip);
    print("default %s/%d %s\n", ip, prefix, family_word(family));
  }
  return print("%s", "") ? kOk : kFailed;
}

}  // namespace qcli
