// quorvel run: a command started by the library, its output copied to
// standard output.
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel run [--] COMMAND [ARGUMENT...]\n"
    "Start COMMAND with its ARGUMENTs through the library (no shell runs; the\n"
    "program is looked for in PATH) and copy what it writes to standard output\n"
    "and standard error, which share one pipe, to standard output, byte for byte.\n"
    "Each word stays one word, whatever it holds.  Exit status 1 when the command\n"
    "cannot be started; the command's own exit status is not reported (the\n"
    "library does not collect it for its callers).  Options end at COMMAND;\n"
    "put -- before a COMMAND that starts with '-'.\n";

// The words as one command line that the library splits back into them:
// each in single quotes, a quote inside as '\''.
void quote_words(int count, char **words, Buffer *line) {
  for (int i = 0; i < count; ++i) {
    if (i != 0) line->push(' ');
    line->push('\'');
    for (const char *p = words[i]; *p != '\0'; ++p) {
      if (*p == '\'') {
        line->append("'\\''", 4);
      } else {
        line->push(static_cast<uint8_t>(*p));
      }
    }
    line->push('\'');
  }
  line->push(0);
}

}  // namespace

int run_run(int argc, char **argv) {
  // Options end at the command: its own words are not ours to parse.
  int first = 1;
  if (argc > 1 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))
    return help(kHelp);
  if (argc > 1 && std::strcmp(argv[1], "--") == 0) first = 2;
  if (first >= argc) return usage("which command?");
  if (first == 1 && argv[1][0] == '-') return usage("unknown option '%s'", argv[1]);
  const int operands = argc - first;
  argv += first - 1;
  Buffer line;
  quote_words(operands, argv + 1, &line);
  CmdPipe *pipe = cmd_popen(reinterpret_cast<const char *>(line.data()));
  if (pipe == nullptr) {
    error("%s: cannot be started", argv[1]);
    return kFailed;
  }
  // One byte per call keeps NUL bytes: each call reads a byte anyway.
  char byte[2];
  bool ok = true;
  while (ok && cmd_fgets(byte, 2, pipe) != nullptr) ok = write_out(byte, 1);
  cmd_pclose(pipe);
  return ok ? kOk : kFailed;
}

}  // namespace qcli
