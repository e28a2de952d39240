// ini_parse_string on arbitrary text: every pair it hands out must be made
// of zero-terminated texts no longer than a line, and the line numbers
// must never go back or pass the number of lines the input can make.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quorvel/runtime.h"

namespace {

struct Seen {
  int32_t lines;  // the most lines the input can make
  int32_t last_line;
  int32_t pairs;
};

int32_t check_pair(void *user, const char *section, const char *name, const char *value,
                   int32_t lineno) {
  Seen *seen = static_cast<Seen *>(user);
  // Section names are cut to 49 characters; names and values are parts
  // of one line of at most 999.
  if (std::strlen(section) > 49 || std::strlen(name) > 999 || std::strlen(value) > 999) std::abort();
  if (lineno < 1 || lineno > seen->lines || lineno < seen->last_line) std::abort();
  seen->last_line = lineno;
  return ++seen->pairs % 7 == 0 ? 0 : 1;  // reject some lines as errors
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  text = text.c_str();  // the parser reads up to the first zero byte
  // Lines longer than 998 characters are read in pieces that count as lines.
  Seen seen{static_cast<int32_t>(2 + text.size() / 998), 0, 0};
  for (char c : text) seen.lines += c == '\n';
  int32_t result = ini_parse_string(text.c_str(), check_pair, &seen);
  if (result < 0 || result > seen.lines) std::abort();
  return 0;
}
