// The event-style INI parser: one pass over lines in a fixed buffer,
// handing each pair to the caller.
#include <cstdint>
#include <cstring>

#include "quorvel/runtime.h"

namespace {

constexpr int32_t kLineSize = 1000;
constexpr size_t kNameSize = 50;  // section and previous name: 49 characters
constexpr int32_t kHandlerStop = 100;

// Carriage return is deliberately not whitespace: CR LF line ends are
// dealt with by explicit rules so that a value keeps spaces before the CR.
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n'; }

char *skip_space(char *s) {
  while (is_space(*s)) ++s;
  return s;
}

// Strips whitespace before end (the text's NUL) with NULs; returns the
// new end.
char *strip_trailing(char *s, char *end) {
  while (end > s && is_space(end[-1])) *--end = '\0';
  return end;
}

void drop_final_cr(char *s, char *end) {
  if (end > s && end[-1] == '\r') end[-1] = '\0';
}

// First of s that is stop_a or stop_b, or the ';' of an inline comment
// (one that follows whitespace), or the end.  Pass '\0' for no stop.
char *find_stop(char *s, char stop_a, char stop_b) {
  bool after_space = false;
  for (char c; (c = *s) != '\0'; ++s) {
    if ((after_space && c == ';') || c == stop_a || c == stop_b) break;
    after_space = is_space(c);
  }
  return s;
}

void copy_name(char (&to)[kNameSize], const char *from, size_t n) {
  if (n > kNameSize - 1) n = kNameSize - 1;
  std::memcpy(to, from, n);
  to[n] = '\0';
}

char *read_string(char *buffer, int32_t size, void *stream) {
  auto *cursor = static_cast<ini_string_cursor *>(stream);
  if (cursor->left == 0 || size < 2) return nullptr;
  size_t n = static_cast<size_t>(size) - 1;
  if (n > cursor->left) n = cursor->left;
  if (const void *lf = std::memchr(cursor->next, '\n', n))
    n = static_cast<size_t>(static_cast<const char *>(lf) - cursor->next) + 1;
  std::memcpy(buffer, cursor->next, n);
  buffer[n] = '\0';
  cursor->next += n;
  cursor->left -= static_cast<uint32_t>(n);
  return buffer;
}

}  // namespace

extern "C" int32_t ini_parse_stream(ini_line_reader reader, void *stream, ini_pair_handler handler,
                                    void *user) {
  if (reader == nullptr || handler == nullptr) return 0;
  char line[kLineSize];
  char section[kNameSize] = "";
  char previous[kNameSize] = "";
  int32_t lineno = 0;
  int32_t error = 0;

  while (reader(line, kLineSize, stream) != nullptr) {
    line[kLineSize - 1] = '\0';  // a reader that overruns its bound cannot run us off the end
    ++lineno;
    if (std::strcmp(line, "\n") == 0 || std::strcmp(line, "\r\n") == 0) continue;
    char *start = line;
    if (lineno == 1 && std::strncmp(line, "\xEF\xBB\xBF", 3) == 0) start += 3;
    char *end = strip_trailing(start, start + std::strlen(start));
    start = skip_space(start);
    if (*start == ';' || *start == '#') continue;

    bool malformed = false;
    int32_t verdict = 1;
    if (previous[0] != '\0' && start > line && *start != '\0') {
      drop_final_cr(start, end);
      verdict = handler(user, section, previous, start, lineno);
    } else if (*start == '[') {
      char *close = find_stop(start + 1, ']', ']');
      if (*close == ']') {
        *close = '\0';
        copy_name(section, start + 1, static_cast<size_t>(close - start - 1));
        previous[0] = '\0';
      } else {
        malformed = true;
      }
    } else if (*start != '\0') {
      char *separator = find_stop(start, '=', ':');
      if (*separator == '=' || *separator == ':') {
        *separator = '\0';
        char *name_end = strip_trailing(start, separator);
        char *value = separator + 1;
        char *value_end = find_stop(value, '\0', '\0');
        *value_end = '\0';
        value_end = strip_trailing(value, value_end);
        value = skip_space(value);
        drop_final_cr(value, value_end);
        copy_name(previous, start, static_cast<size_t>(name_end - start));
        verdict = handler(user, section, start, value, lineno);
      } else {
        malformed = true;
      }
    }
    if (verdict == kHandlerStop) break;
    if ((malformed || verdict == 0) && error == 0) error = lineno;
  }
  return error;
}

extern "C" int32_t ini_parse_string(const char *text, ini_pair_handler handler, void *user) {
  size_t length = text != nullptr ? std::strlen(text) : 0;
  ini_string_cursor cursor{text, length > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(length)};
  return ini_parse_stream(read_string, &cursor, handler, user);
}
