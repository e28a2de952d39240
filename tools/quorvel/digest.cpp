#include "digest.hpp"

#include <cctype>
#include <cstring>

namespace qcli {

namespace {

// Digests one input into digest; false after reporting why it could not.
bool digest_input(const DigestAlgo &algo, Hasher *h, const char *path, uint8_t *digest) {
  static uint8_t chunk[1 << 16];
  FILE *file = open_input(path);
  if (file == nullptr) return false;
  algo.init(h);
  uint64_t total = 0;
  bool ok = true;
  for (size_t got = 1; ok && got != 0;) {
    ok = read_some(file, path, chunk, sizeof chunk, &got);
    total += got;
    if (ok && total > algo.max_input) {
      error("%s: too long for %s (more than %llu bytes)", input_name(path), algo.name,
            static_cast<unsigned long long>(algo.max_input));
      ok = false;
    }
    if (ok && got != 0) algo.update(h, chunk, static_cast<uint32_t>(got));
  }
  close_input(file);
  if (ok) algo.final(h, digest);
  return ok;
}

// Writes name, escaping backslashes and line feeds when asked.
void print_name(const char *name, bool escape) {
  for (const char *p = name; *p != '\0'; ++p) {
    if (escape && *p == '\\') {
      write_out("\\\\", 2);
    } else if (escape && *p == '\n') {
      write_out("\\n", 2);
    } else {
      write_out(p, 1);
    }
  }
}

// Counts of one list, for the closing warnings.
struct Tally {
  int good_lines = 0, bad_lines = 0, unreadable = 0, mismatched = 0;
};

// One list line split into its parts; name is NUL-terminated in storage.
struct Entry {
  const char *hex;
  Buffer name;
};

// Parses "[\]<hex> [ *]<name>" (leading blanks, a trailing CR allowed).
bool parse_line(const char *line, size_t n, size_t hex_len, Entry *e) {
  if (n > 0 && line[n - 1] == '\r') --n;
  size_t i = 0;
  while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
  const bool escaped = i < n && line[i] == '\\';
  i += escaped ? 1 : 0;
  if (n - i < hex_len + 2) return false;
  e->hex = line + i;
  for (size_t k = 0; k < hex_len; ++k)
    if (!std::isxdigit(static_cast<unsigned char>(line[i + k]))) return false;
  i += hex_len;
  if (line[i] != ' ' && line[i] != '\t') return false;
  ++i;
  if (n - i > 1 && (line[i] == ' ' || line[i] == '*')) ++i;
  e->name.clear();
  for (; i < n; ++i) {
    char c = line[i];
    if (c == '\0') return false;
    if (escaped && c == '\\') {
      if (++i == n || (line[i] != '\\' && line[i] != 'n')) return false;
      c = line[i] == 'n' ? '\n' : '\\';
    }
    e->name.push(static_cast<uint8_t>(c));
  }
  e->name.push(0);
  return true;
}

bool same_hex(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

void check_entry(const DigestAlgo &algo, Hasher *h, const Entry &e, bool quiet, Tally *t) {
  const char *name = reinterpret_cast<const char *>(e.name.data());
  uint8_t digest[kMaxDigest];
  char hex[2 * kMaxDigest + 1];
  const bool read = digest_input(algo, h, name, digest);
  bool match = false;
  if (read) {
    to_hex(digest, algo.digest_size, hex);
    match = same_hex(e.hex, hex, 2 * algo.digest_size);
  }
  t->unreadable += read ? 0 : 1;
  t->mismatched += read && !match ? 1 : 0;
  if (quiet && match) return;
  const bool escape = std::strchr(name, '\n') != nullptr;
  if (escape) write_out("\\", 1);
  print_name(name, escape);
  print(": %s\n", !read ? "FAILED open or read" : match ? "OK" : "FAILED");
}

void warn(int n, const char *one, const char *many) {
  if (n > 0) std::fprintf(stderr, "quorvel: WARNING: %d %s\n", n, n == 1 ? one : many);
}

int check_list(const DigestAlgo &algo, Hasher *h, const char *list, bool quiet) {
  Buffer text;
  if (!read_all(list, &text)) return kFailed;
  const auto *p = reinterpret_cast<const char *>(text.data());
  const char *end = p + text.size();
  Tally t;
  Entry e;
  while (p < end) {
    const char *eol = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const size_t n = static_cast<size_t>((eol ? eol : end) - p);
    size_t lead = 0;
    while (lead < n && (p[lead] == ' ' || p[lead] == '\t')) ++lead;
    if (lead < n && p[lead] != '#' && !(lead + 1 == n && p[lead] == '\r')) {
      if (parse_line(p, n, 2 * algo.digest_size, &e)) {
        ++t.good_lines;
        check_entry(algo, h, e, quiet, &t);
      } else {
        ++t.bad_lines;
      }
    }
    p += n + 1;
  }
  if (t.good_lines == 0) {
    error("%s: no properly formatted checksum lines found", input_name(list));
    return kFailed;
  }
  warn(t.bad_lines, "line is improperly formatted", "lines are improperly formatted");
  warn(t.unreadable, "listed file could not be read", "listed files could not be read");
  warn(t.mismatched, "computed checksum did NOT match", "computed checksums did NOT match");
  return t.unreadable + t.mismatched == 0 ? kOk : kFailed;
}

}  // namespace

const DigestAlgo *find_algo(const DigestAlgo *table, size_t count, const char *name) {
  for (size_t i = 0; i < count; ++i)
    if (std::strcmp(table[i].name, name) == 0) return &table[i];
  return nullptr;
}

int list_digests(const DigestAlgo &algo, Hasher *hasher, int count, char **files) {
  static char stdin_name[] = "-";
  char *only_stdin[] = {stdin_name};
  if (count == 0) files = only_stdin, count = 1;
  int code = kOk;
  for (int i = 0; i < count; ++i) {
    uint8_t digest[kMaxDigest];
    char hex[2 * kMaxDigest + 1];
    if (!digest_input(algo, hasher, files[i], digest)) {
      code = kFailed;
      continue;
    }
    to_hex(digest, algo.digest_size, hex);
    const char *name = input_name(files[i]);
    const bool escape = std::strpbrk(name, "\\\n") != nullptr;
    print("%s%s  ", escape ? "\\" : "", hex);
    print_name(name, escape);
    if (!print("\n")) return kFailed;
  }
  return code;
}

int check_digests(const DigestAlgo &algo, Hasher *hasher, int count, char **lists, bool quiet) {
  if (count == 0) return check_list(algo, hasher, "-", quiet);
  int code = kOk;
  for (int i = 0; i < count; ++i)
    if (check_list(algo, hasher, lists[i], quiet) != kOk) code = kFailed;
  return code;
}

}  // namespace qcli
