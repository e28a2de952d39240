// quorvel: the library's hashes, MACs, AES, codecs, network queries and
// runtime helpers on the command line.
#include <cstring>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include "cli.hpp"
#include "commands.hpp"

namespace {

const struct {
  const char *name;
  int (*run)(int, char **);
  const char *summary;
} kCommands[] = {
    {"hash", qcli::run_hash, "print or check digests and checksums of files (sha256sum style)"},
    {"hmac", qcli::run_hmac, "print or check HMAC-SHA-256 or HMAC-SHA-224 of files"},
    {"aes", qcli::run_aes, "AES-128/192/256 encryption and decryption, ECB or CBC"},
    {"base64", qcli::run_base64, "Base64 encoding and decoding (a filter)"},
    {"hex", qcli::run_hex, "plain hex encoding and decoding, as xxd -p (a filter)"},
    {"selftest", qcli::run_selftest, "check every primitive against its published vectors"},
    {"speed", qcli::run_speed, "measure the throughput of each primitive"},
    {"net", qcli::run_net, "local addresses, gateways and name servers of both families"},
    {"resolve", qcli::run_resolve, "resolve names on the spot and through the domain table"},
    {"mask", qcli::run_mask, "the netmask of an IPv4 or IPv6 prefix length"},
    {"broadcast", qcli::run_broadcast, "the directed broadcast address of an IPv4 subnet"},
    {"ini", qcli::run_ini, "list the pairs of an INI file, or get one value"},
    {"json", qcli::run_json, "build a JSON object from NAME=VALUE words"},
    {"time", qcli::run_time, "a moment in UTC and in local standard time"},
    {"run", qcli::run_run, "run a command and copy its output"},
    {"tour", qcli::run_tour, "a demonstration of every family of the library"},
};

int top_help() {
  qcli::print(
      "Usage: quorvel SUBCOMMAND [OPTION...] [ARGUMENT...]\n"
      "       quorvel --version\n"
      "The hashes, MACs, AES, codecs, network queries and runtime helpers of the\n"
      "quorvel library.\n\nSubcommands:\n");
  for (const auto &c : kCommands) qcli::print("  %-10s %s\n", c.name, c.summary);
  qcli::print(
      "\nEach answers --help.  Exit status: 0 done, 1 a check, verification, input\n"
      "or output failed, 2 the command line is wrong.\n");
  return qcli::kOk;
}

int dispatch(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "Usage: quorvel SUBCOMMAND ...\nTry 'quorvel --help'.\n");
    return qcli::kUsage;
  }
  const char *name = argv[1];
  if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) return top_help();
  if (std::strcmp(name, "--version") == 0) {
    qcli::print("quorvel %s\n", QUORVEL_TOOL_VERSION);
    return qcli::kOk;
  }
  for (const auto &c : kCommands)
    if (std::strcmp(name, c.name) == 0) {
      qcli::set_command(c.name);
      return c.run(argc - 1, argv + 1);
    }
  std::fprintf(stderr, "quorvel: unknown subcommand '%s'\nTry 'quorvel --help'.\n", name);
  return qcli::kUsage;
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
  // Digests, ciphers and codecs work on bytes: no line-end translation.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  return qcli::finish(dispatch(argc, argv));
}
