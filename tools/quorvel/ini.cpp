// quorvel ini: the pairs of an INI file as the library's parser reads them,
// or the value of one.
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel ini [--get SECTION.NAME] FILE\n"
    "List the pairs of the INI file FILE ('-' for standard input) as the library's\n"
    "parser reads them, one line each: \"LINE [SECTION] NAME = VALUE\".  Sections\n"
    "are \"[name]\" lines, pairs \"name = value\" or \"name : value\"; ';' and '#'\n"
    "start comment lines, and ';' after white space an inline comment; an indented\n"
    "line continues the pair above it and is listed as a pair of the same name.\n"
    "\n"
    "  --get SECTION.NAME  print only the value of NAME in SECTION, split at the\n"
    "                      last dot; a NAME without a dot is one before the first\n"
    "                      section.  Each value it has is printed on a line of its\n"
    "                      own (a continued value gives one line per part); exit 1\n"
    "                      when it has none\n"
    "\n"
    "A malformed line is reported with its number (exit 1); the pairs of the other\n"
    "lines are still listed.\n";

struct Query {
  const char *section;  // null: list every pair
  size_t section_len;
  const char *name;
  int found;
};

int32_t on_pair(void *user, const char *section, const char *name, const char *value,
                int32_t line) {
  auto *q = static_cast<Query *>(user);
  if (q->section == nullptr) {
    print("%d [%s] %s = %s\n", line, section, name, value);
    return 1;
  }
  if (std::strlen(section) == q->section_len &&
      std::strncmp(section, q->section, q->section_len) == 0 && std::strcmp(name, q->name) == 0) {
    print("%s\n", value);
    ++q->found;
  }
  return 1;
}

}  // namespace

int run_ini(int argc, char **argv) {
  const char *get = nullptr;
  const Option options[] = {{nullptr, "--get", &get, nullptr}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, 1, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands != 1) return usage("one FILE expected");
  Query q = {nullptr, 0, nullptr, 0};
  if (get != nullptr) {
    const char *dot = std::strrchr(get, '.');
    q.section = dot != nullptr ? get : "";
    q.section_len = dot != nullptr ? static_cast<size_t>(dot - get) : 0;
    q.name = dot != nullptr ? dot + 1 : get;
    if (q.name[0] == '\0') return usage("no NAME in '%s'", get);
  }
  Buffer text;
  if (!read_all(argv[1], &text)) return kFailed;
  if (text.size() != 0 && std::memchr(text.data(), 0, text.size()) != nullptr) {
    error("%s: a NUL byte: not an INI text", input_name(argv[1]));
    return kFailed;
  }
  text.push(0);
  const int32_t bad = ini_parse_string(reinterpret_cast<const char *>(text.data()), on_pair, &q);
  if (bad != 0) error("%s:%d: malformed line", input_name(argv[1]), bad);
  if (get != nullptr && q.found == 0 && bad == 0) error("%s: no such pair", get);
  return bad == 0 && (get == nullptr || q.found > 0) ? kOk : kFailed;
}

}  // namespace qcli
