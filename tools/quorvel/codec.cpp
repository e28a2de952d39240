// quorvel base64 and quorvel hex: filters from standard input (or one
// file) to standard output, in the formats of coreutils base64 and xxd -p.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kBase64Help[] =
    "Usage: quorvel base64 [-d] [-w COLS] [FILE]\n"
    "Base64 (RFC 4648) of FILE or standard input, on standard output.\n"
    "\n"
    "  -d, --decode     decode instead; line feeds are skipped, anything else\n"
    "                   outside the alphabet and its padding is an error (exit 1)\n"
    "  -w, --wrap COLS  break lines after COLS characters (default 76, 0: never)\n";

const char kHexHelp[] =
    "Usage: quorvel hex [-d] [FILE]\n"
    "Plain hex of FILE or standard input, as xxd -p writes it: 60 lower-case\n"
    "digits (30 bytes) per line.\n"
    "\n"
    "  -d, --decode  decode instead, as xxd -r -p does; white space is skipped, any\n"
    "                other character that is not a hex digit, or an odd number of\n"
    "                digits, is an error (exit 1)\n";

constexpr size_t kHexLine = 30;  // bytes per line of xxd -p

// Calls emit with the input in pieces of whole units, the last piece
// excepted; false after a read or write failure has been reported.
template <typename Emit>
bool for_each_piece(const char *path, size_t unit, Emit emit) {
  static uint8_t piece[49152];
  const size_t capacity = sizeof piece - sizeof piece % unit;
  FILE *file = open_input(path);
  if (file == nullptr) return false;
  size_t have = 0, got = 1;
  bool ok = true;
  while (ok && got != 0) {
    ok = read_some(file, path, piece + have, capacity - have, &got);
    have += got;
    const size_t whole = got == 0 ? have : have - have % unit;
    if (ok && whole != 0 && (have == capacity || got == 0)) {
      ok = emit(piece, whole);
      std::memmove(piece, piece + whole, have - whole);
      have -= whole;
    }
  }
  close_input(file);
  return ok;
}

// Writes text broken into lines of cols characters (0: one line, no
// line feed), as coreutils base64 does.
struct Wrapper {
  size_t cols, column;
  bool put(const char *text, size_t n) {
    if (cols == 0) return write_out(text, n);
    while (n != 0) {
      const size_t take = n < cols - column ? n : cols - column;
      if (!write_out(text, take)) return false;
      text += take, n -= take, column += take;
      if (column == cols && !write_out("\n", 1)) return false;
      column %= cols;
    }
    return true;
  }
  bool end() { return cols == 0 || column == 0 || write_out("\n", 1); }
};

int base64_encode(const char *path, size_t cols) {
  static char text[49152 / 3 * 4 + 1];
  Wrapper wrap = {cols, 0};
  const bool ok = for_each_piece(path, 3, [&](const uint8_t *p, size_t n) {
    const int32_t chars =
        ToBase64Simple(p, static_cast<int32_t>(n), text, static_cast<int32_t>(sizeof text));
    return wrap.put(text, static_cast<size_t>(chars));
  });
  return ok && wrap.end() ? kOk : kFailed;
}

bool base64_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// Groups of four: two alphabet characters, then two more or "x=" or "==".
// Padded groups may follow one another, as coreutils accepts them.
bool base64_valid(const char *t, size_t n) {
  if (n % 4 != 0) return false;
  for (size_t i = 0; i < n; i += 4) {
    if (!base64_char(t[i]) || !base64_char(t[i + 1])) return false;
    if (!base64_char(t[i + 2]) && !(t[i + 2] == '=' && t[i + 3] == '=')) return false;
    if (!base64_char(t[i + 3]) && t[i + 3] != '=') return false;
  }
  return true;
}

int base64_decode(const char *path) {
  Buffer raw, text, out;
  if (!read_all(path, &raw)) return kFailed;
  for (size_t i = 0; i < raw.size(); ++i)
    if (raw.data()[i] != '\n') text.push(raw.data()[i]);
  const auto *t = reinterpret_cast<const char *>(text.data());
  if (!base64_valid(t, text.size()) || text.size() > 0x7ffffff0u) {
    error("invalid input");
    return kFailed;
  }
  // The library decodes up to the first padded group: one call per run.
  for (size_t start = 0, i = 0; i < text.size(); i += 4) {
    if (t[i + 3] != '=' && i + 4 < text.size()) continue;
    const auto chars = static_cast<int32_t>(i + 4 - start);
    const int32_t room = chars / 4 * 3 + 1;
    const int32_t got =
        FromBase64Simple(t + start, chars, out.reserve(static_cast<size_t>(room)), room);
    out.commit(static_cast<size_t>(got));
    start = i + 4;
  }
  return write_out(out.data(), out.size()) ? kOk : kFailed;
}

// Lines of xxd -p: the hex of kHexLine bytes each, the last one shorter.
bool put_hex_lines(const uint8_t *p, size_t n) {
  char line[2 * kHexLine + 2];
  for (size_t at = 0; at < n; at += kHexLine) {
    const size_t take = n - at < kHexLine ? n - at : kHexLine;
    to_hex(p + at, take, line);
    line[2 * take] = '\n';
    if (!write_out(line, 2 * take + 1)) return false;
  }
  return true;
}

int hex_encode(const char *path) {
  return for_each_piece(path, kHexLine, put_hex_lines) ? kOk : kFailed;
}

int hex_decode(const char *path) {
  Buffer raw, digits, out;
  if (!read_all(path, &raw)) return kFailed;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = static_cast<char>(raw.data()[i]);
    if (std::strchr(" \t\n\r\v\f", c) != nullptr && c != '\0') continue;
    if (c == '\0' || std::strchr("0123456789abcdefABCDEF", c) == nullptr) {
      error("invalid input: '%c' is not a hex digit", c >= ' ' && c < 127 ? c : '?');
      return kFailed;
    }
    digits.push(static_cast<uint8_t>(c));
  }
  if (digits.size() % 2 != 0) {
    error("invalid input: an odd number of hex digits");
    return kFailed;
  }
  constexpr size_t kStep = 1 << 20;  // the library takes int32_t lengths
  for (size_t at = 0; at < digits.size(); at += kStep) {
    const size_t n = digits.size() - at < kStep ? digits.size() - at : kStep;
    const int32_t got =
        mmHexString2Data(reinterpret_cast<const char *>(digits.data()) + at,
                         static_cast<int32_t>(n), out.reserve(n / 2), static_cast<int32_t>(n / 2));
    out.commit(static_cast<size_t>(got));
  }
  return write_out(out.data(), out.size()) ? kOk : kFailed;
}

// A column count: digits only, 0 to a million.
bool parse_cols(const char *text, size_t *cols) {
  if (text[0] == '\0' || std::strspn(text, "0123456789") != std::strlen(text)) return false;
  errno = 0;
  const unsigned long v = std::strtoul(text, nullptr, 10);
  *cols = v;
  return errno == 0 && v <= 1000000;
}

}  // namespace

int run_base64(int argc, char **argv) {
  bool decode = false;
  const char *wrap = nullptr;
  const Option options[] = {{"-d", "--decode", nullptr, &decode}, {"-w", "--wrap", &wrap, nullptr}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, sizeof options / sizeof options[0], &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kBase64Help) : kUsage;
  if (operands > 1) return usage("one input at most");
  size_t cols = 76;
  if (wrap != nullptr && !parse_cols(wrap, &cols)) return usage("invalid wrap size '%s'", wrap);
  const char *path = operands == 1 ? argv[1] : nullptr;
  return decode ? base64_decode(path) : base64_encode(path, cols);
}

int run_hex(int argc, char **argv) {
  bool decode = false;
  const Option options[] = {{"-d", "--decode", nullptr, &decode}};
  int operands = 0;
  const Parsed parsed = parse(argc, argv, options, 1, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHexHelp) : kUsage;
  if (operands > 1) return usage("one input at most");
  const char *path = operands == 1 ? argv[1] : nullptr;
  return decode ? hex_decode(path) : hex_encode(path);
}

}  // namespace qcli
