// quorvel mask and quorvel broadcast: netmasks of prefix lengths and the
// directed broadcast address of a subnet.
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kMaskHelp[] =
    "Usage: quorvel mask [-6] PREFIX\n"
    "Print the netmask of a prefix length: dotted IPv4 text for 0 to 32, or with\n"
    "-6 IPv6 text (as the library writes addresses, ffff:ffff:ffff:ffff:: for 64)\n"
    "for 0 to 128.  The family is never guessed from the number: 24 is an IPv4\n"
    "prefix unless -6 is given.\n"
    "\n"
    "  -6  an IPv6 prefix\n";

const char kBroadcastHelp[] =
    "Usage: quorvel broadcast IP PREFIX\n"
    "Print the directed broadcast address of the IPv4 subnet of PREFIX bits\n"
    "(0 to 32) that holds IP: the address with every host bit set.  IP must have\n"
    "four dotted parts, each read as the C library's inet_addr() reads it (so\n"
    "010.0.0.1 is 8.0.0.1).\n";

// A prefix length: decimal digits only, 0 to most.
bool parse_prefix(const char *text, int32_t most, int32_t *prefix) {
  const size_t n = std::strlen(text);
  if (n == 0 || n > 3 || std::strspn(text, "0123456789") != n) return false;
  int32_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v * 10 + (text[i] - '0');
  *prefix = v;
  return v <= most;
}

// IPv4-style text the library's reader accepts.  Its reader cannot tell
// 255.255.255.255 from a rejection, so that text is let through by name.
bool valid_ipv4(const char *text) {
  uint8_t bytes[4];
  if (GetIPvStyle(text) != 4 || std::strpbrk(text, " \t\r\n") != nullptr) return false;
  return inet_ptonx(QRVL_AF_INET, text, bytes) == 1 || std::strcmp(text, "255.255.255.255") == 0;
}

}  // namespace

int run_mask(int argc, char **argv) {
  bool v6 = false;
  const Option options[] = {{"-6", nullptr, nullptr, &v6}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, 1, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kMaskHelp) : kUsage;
  if (operands != 1) return usage("one PREFIX expected");
  int32_t prefix = 0;
  if (!parse_prefix(argv[1], v6 ? 128 : 32, &prefix))
    return usage("invalid %s prefix length '%s' (0 to %d)", v6 ? "IPv6" : "IPv4", argv[1],
                 v6 ? 128 : 32);
  char text[QRVL_IPV6_TEXT_SIZE];
  if (v6) {
    MakeIPv6MaskAddr(prefix, text, nullptr);
  } else {
    MakeIPv4MaskAddr(prefix, text, nullptr);
  }
  return print("%s\n", text) ? kOk : kFailed;
}

int run_broadcast(int argc, char **argv) {
  int operands = 0;
  const Parsed parsed = parse(argc, argv, nullptr, 0, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kBroadcastHelp) : kUsage;
  if (operands != 2) return usage("IP and PREFIX expected");
  if (!valid_ipv4(argv[1])) return usage("invalid IPv4 address '%s'", argv[1]);
  int32_t prefix = 0;
  if (!parse_prefix(argv[2], 32, &prefix))
    return usage("invalid prefix length '%s' (0 to 32)", argv[2]);
  char text[QRVL_IPV4_TEXT_SIZE];
  if (GetNBroadcastIP(argv[1], prefix, text) != 0)
    return usage("invalid IPv4 address '%s'", argv[1]);
  return print("%s\n", text) ? kOk : kFailed;
}

}  // namespace qcli
