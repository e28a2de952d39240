// quorvel json: a JSON object from NAME=VALUE words, built with the
// library's CJSON builder.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel json [-s] NAME=VALUE...\n"
    "Print one JSON object with a member per word, in the order given (a name\n"
    "given twice appears twice), split at the first '='.  VALUE is written as:\n"
    "\n"
    "  a number  when it has JSON's number syntax (-12, 0, 3.5, 1e-3; not +1, 01,\n"
    "            .5 or 0x10), exactly as given\n"
    "  true, false or null  as such\n"
    "  a string  otherwise (the empty VALUE too), with '\"', '\\' and control\n"
    "            characters escaped\n"
    "\n"
    "  -s, --strings  write every VALUE as a string\n"
    "\n"
    "Names are escaped the same way and must not be empty.\n";

// Where the builder has no type of its own (null, fractions, numbers beyond
// 32 bits), the value goes in as a string holding this mark and the text;
// the quotes around the marked strings are dropped from the output.  An
// escaped text never holds a raw control character, so the mark is unique.
constexpr char kRaw = '\x01';

size_t digits(const char *p) {
  return std::strspn(p, "0123456789");
}

// JSON's number grammar: -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
bool is_number(const char *p) {
  if (*p == '-') ++p;
  const size_t whole = digits(p);
  if (whole == 0 || (p[0] == '0' && whole > 1)) return false;
  p += whole;
  if (*p == '.') {
    if (digits(++p) == 0) return false;
    p += digits(p);
  }
  if (*p == 'e' || *p == 'E') {
    if (*++p == '+' || *p == '-') ++p;
    if (digits(p) == 0) return false;
    p += digits(p);
  }
  return *p == '\0';
}

// Appends text, NUL-terminated, with JSON's escapes.
void escape(const char *text, Buffer *out) {
  static const char kHex[] = "0123456789abcdef";
  for (const auto *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; ++p) {
    if (*p == '"' || *p == '\\') {
      out->push('\\');
      out->push(*p);
    } else if (*p < 0x20) {
      const char u[6] = {'\\', 'u', '0', '0', kHex[*p >> 4], kHex[*p & 15]};
      out->append(u, sizeof u);
    } else {
      out->push(*p);
    }
  }
  out->push(0);
}

// One member as offsets into the text buffer, which may move while it
// grows: the pointers the builder keeps are made once every text is in.
struct Member {
  size_t key, text;  // offsets into the text buffer
  uint32_t type, value;
};

Member make_member(const char *word, const char *eq, bool strings, Buffer *texts) {
  Buffer key;
  key.append(word, static_cast<size_t>(eq - word));
  key.push(0);
  Member m = {texts->size(), 0, CJSON_TYPE_STRING, 0};
  escape(reinterpret_cast<const char *>(key.data()), texts);
  const char *value = eq + 1;
  m.text = texts->size();
  errno = 0;
  char *end = nullptr;
  const long long n = std::strtoll(value, &end, 10);
  const bool integer =
      is_number(value) && *end == '\0' && errno == 0 && !(n == 0 && value[0] == '-');
  if (strings) {
    escape(value, texts);
  } else if (std::strcmp(value, "true") == 0 || std::strcmp(value, "false") == 0) {
    m.type = CJSON_TYPE_BOOLEAN, m.value = value[0] == 't' ? 1 : 0;
  } else if (integer && n >= 0 && n <= 0xffffffffll) {
    m.type = CJSON_TYPE_UNSIGNED, m.value = static_cast<uint32_t>(n);
  } else if (integer && n < 0 && n >= -0x80000000ll) {
    m.type = CJSON_TYPE_SIGNED, m.value = static_cast<uint32_t>(static_cast<int32_t>(n));
  } else if (is_number(value) || std::strcmp(value, "null") == 0) {
    texts->push(kRaw);
    texts->append(value, std::strlen(value) + 1);
  } else {
    escape(value, texts);
  }
  return m;
}

// Drops the quotes around marked strings, in place; returns the new length.
size_t unmark(char *s, size_t n) {
  size_t w = 0;
  for (size_t r = 0; r < n; ++r) {
    if (s[r] == '"' && r + 1 < n && s[r + 1] == kRaw) {
      for (r += 2; r < n && s[r] != '"'; ++r) s[w++] = s[r];
      continue;
    }
    s[w++] = s[r];
  }
  return w;
}

}  // namespace

int run_json(int argc, char **argv) {
  bool strings = false;
  const Option options[] = {{"-s", "--strings", nullptr, &strings}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, 1, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands == 0) return usage("which members? (NAME=VALUE...)");
  Buffer texts, table_storage;
  table_storage.resize(sizeof(Member) * static_cast<size_t>(operands));
  auto *members = reinterpret_cast<Member *>(table_storage.data());
  for (int i = 0; i < operands; ++i) {
    const char *eq = std::strchr(argv[1 + i], '=');
    if (eq == nullptr || eq == argv[1 + i]) return usage("'%s' is not NAME=VALUE", argv[1 + i]);
    members[i] = make_member(argv[1 + i], eq, strings, &texts);
  }
  CJSON object;
  if (CJSON_Init2(&object, static_cast<uint32_t>(operands)) != 0) {
    error("out of memory");
    return kFailed;
  }
  const auto *base = reinterpret_cast<const char *>(texts.data());
  for (int i = 0; i < operands; ++i) {
    const Member &m = members[i];
    if (m.type == CJSON_TYPE_STRING) {
      CJSON_AddElement1(&object, base + m.key, base + m.text);
    } else {
      CJSON_AddElement3(&object, base + m.key, m.value, m.type);
    }
  }
  Buffer out;
  const uint32_t size = CJSON_CreateString(&object, nullptr, 0) + 1;
  auto *text = reinterpret_cast<char *>(out.reserve(size));
  const size_t n = unmark(text, CJSON_CreateString(&object, text, size));
  CJSON_Free(&object);
  text[n] = '\n';
  return write_out(text, n + 1) ? kOk : kFailed;
}

}  // namespace qcli
