// Shell-like word splitting for the command lines of child processes.
#include "platform/posix/command_words.hpp"

namespace quorvel::platform {

static bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

static bool escapable_in_double_quotes(char c) {
  return c == '$' || c == '`' || c == '"' || c == '\\';
}

// Copies the double-quoted part that starts after p's opening quote; returns
// the position after the closing quote, or null when there is none.
static const char *copy_double_quoted(const char *p, char **out) {
  for (; *p != '\0'; ++p) {
    if (*p == '"') return p + 1;
    if (*p == '\\' && p[1] == '\n') {
      ++p;
    } else if (*p == '\\' && escapable_in_double_quotes(p[1])) {
      *(*out)++ = *++p;
    } else {
      *(*out)++ = *p;
    }
  }
  return nullptr;
}

static const char *copy_single_quoted(const char *p, char **out) {
  for (; *p != '\0'; ++p) {
    if (*p == '\'') return p + 1;
    *(*out)++ = *p;
  }
  return nullptr;
}

int32_t split_command_words(const char *line, char *storage, char **words) {
  int32_t count = 0;
  bool in_word = false;
  char *out = storage;
  const char *p = line;
  while (*p != '\0') {
    if (is_blank(*p)) {
      if (in_word) *out++ = '\0';
      in_word = false;
      ++p;
      continue;
    }
    if (p[0] == '\\' && p[1] == '\n') {  // a continued line joins its neighbours
      p += 2;
      continue;
    }
    if (!in_word) {
      words[count++] = out;
      in_word = true;
    }
    if (*p == '\'') {
      p = copy_single_quoted(p + 1, &out);
    } else if (*p == '"') {
      p = copy_double_quoted(p + 1, &out);
    } else if (p[0] == '\\' && p[1] != '\0') {
      *out++ = p[1];
      p += 2;
    } else {
      *out++ = *p++;
    }
    if (p == nullptr) return -1;
  }
  if (in_word) *out = '\0';
  words[count] = nullptr;
  return count;
}

}  // namespace quorvel::platform
