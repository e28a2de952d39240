// ini_parse_string on arbitrary text: every pair it hands out must be made
// of zero-terminated texts no longer than a line that all occur in the
// input (the value in the line it is reported for, when every line is
// read whole), and the line numbers must never go back or pass the number
// of lines the input can make.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/runtime.h"
#include "fuzz_check.hpp"

namespace {

struct Seen {
  const char *text;
  std::vector<std::string_view> lines;  // each with its '\n'; empty when a line is read in pieces
  int32_t most_lines;                   // the most lines the input can make
  int32_t last_line;
  int32_t pairs;
  std::string last_section;  // already found in the text
};

// Whether s occurs in the input, looked for first in the line it was
// reported for (cheap), then anywhere.
bool occurs(const Seen &seen, int32_t lineno, const char *s) {
  if (!seen.lines.empty() && lineno <= static_cast<int32_t>(seen.lines.size()) &&
      seen.lines[static_cast<size_t>(lineno - 1)].find(s) != std::string_view::npos)
    return true;
  return std::strstr(seen.text, s) != nullptr;
}

int32_t check_pair(void *user, const char *section, const char *name, const char *value,
                   int32_t lineno) {
  Seen *seen = static_cast<Seen *>(user);
  // Section names are cut to 49 characters; names and values are parts
  // of one line of at most 999.
  check(std::strlen(section) <= 49 && std::strlen(name) <= 999 && std::strlen(value) <= 999);
  check(lineno >= 1 && lineno <= seen->most_lines && lineno >= seen->last_line);
  if (seen->last_section != section) {
    check(std::strstr(seen->text, section) != nullptr);
    seen->last_section = section;
  }
  check(occurs(*seen, lineno, name));
  if (seen->lines.empty()) {
    check(std::strstr(seen->text, value) != nullptr);
  } else {
    check(lineno <= static_cast<int32_t>(seen->lines.size()));
    check(seen->lines[static_cast<size_t>(lineno - 1)].find(value) != std::string_view::npos);
  }
  seen->last_line = lineno;
  return ++seen->pairs % 7 == 0 ? 0 : 1;  // reject some lines as errors
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The parser reads up to the first zero byte.
  const char *begin = reinterpret_cast<const char *>(data);
  const std::string text(begin, std::find(begin, begin + size, '\0'));
  // Lines longer than 998 characters are read in pieces that count as lines.
  static Seen seen;  // kept, so that its vector needs no new memory per input
  seen.text = text.c_str();
  seen.lines.clear();
  seen.most_lines = static_cast<int32_t>(2 + text.size() / 998);
  seen.last_line = seen.pairs = 0;
  seen.last_section.clear();
  bool whole_lines = true;
  for (size_t start = 0; start < text.size() || seen.lines.empty();) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    seen.lines.emplace_back(seen.text + start, end - start);
    whole_lines = whole_lines && end - start <= 998;
    const bool ends_line = end > start && text[end - 1] == '\n';
    seen.most_lines += ends_line;
    if (end == text.size() && ends_line) seen.lines.emplace_back(seen.text + end, 0);
    start = end;
  }
  if (!whole_lines) seen.lines.clear();
  const int32_t result = ini_parse_string(text.c_str(), check_pair, &seen);
  check(result >= 0 && result <= seen.most_lines);
  return 0;
}
