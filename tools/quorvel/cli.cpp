#include "cli.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace qcli {

namespace {

// A bar on standard error while one input over 64 MiB is read, when
// standard error is a terminal: bytes read, the rate and the time left.
struct Progress {
  FILE *file;  // the input followed, or null
  uint64_t total, done;
  uint32_t start, drawn;  // millisecond ticks
};
Progress g_progress = {nullptr, 0, 0, 0, 0};

const char *g_command = "";
bool g_stdout_failed = false;  // reported once; later writes give up at once

void verror(const char *format, va_list args) {
  if (g_progress.file != nullptr) std::fprintf(stderr, "\r%*s\r", 79, "");  // off the bar's row
  std::fprintf(stderr, g_command[0] != '\0' ? "quorvel: %s: " : "quorvel: ", g_command);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
}

void stdout_failed(int err) {
  if (g_stdout_failed) return;
  g_stdout_failed = true;
  error("write error: %s", std::strerror(err != 0 ? err : EIO));
}

bool is_stdin(const char *path) {
  return path == nullptr || std::strcmp(path, "-") == 0;
}

// Matches word against one option: exact name, "--long=VALUE" or "-xVALUE".
// Returns the joined value, word's end for an exact match, null otherwise.
const char *match(const Option &o, const char *word) {
  if ((o.short_name && std::strcmp(word, o.short_name) == 0) ||
      (o.long_name && std::strcmp(word, o.long_name) == 0))
    return word + std::strlen(word);
  if (o.value == nullptr) return nullptr;
  if (o.long_name) {
    const size_t n = std::strlen(o.long_name);
    if (std::strncmp(word, o.long_name, n) == 0 && word[n] == '=') return word + n + 1;
  }
  if (o.short_name && std::strlen(o.short_name) == 2 && std::strncmp(word, o.short_name, 2) == 0)
    return word + 2;
  return nullptr;
}

constexpr uint64_t kProgressOver = uint64_t{64} << 20;
constexpr uint32_t kRedrawMs = 200;
constexpr int kBarWidth = 12;  // the whole line stays within 79 columns

void start_progress(FILE *file) {
  struct stat st;
  if (g_progress.file != nullptr || fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) <= kProgressOver || !isatty(fileno(stderr)))
    return;
  const uint32_t now = GetClockTimeStamp();
  g_progress = {file, static_cast<uint64_t>(st.st_size), 0, now, now - kRedrawMs};
}

// Writes MiB below 10 GiB, GiB above, in 10 characters.
void size_text(uint64_t bytes, char *out, size_t n) {
  const double mib = static_cast<double>(bytes) / (1 << 20);
  if (mib < 10240) {
    std::snprintf(out, n, "%6.1f MiB", mib);
  } else {
    std::snprintf(out, n, "%6.1f GiB", mib / 1024);
  }
}

void draw_progress() {
  Progress &p = g_progress;
  const uint32_t now = GetClockTimeStamp();
  if (now - p.drawn < kRedrawMs) return;
  p.drawn = now;
  const uint64_t done = p.done < p.total ? p.done : p.total;
  const double seconds = (now - p.start) / 1000.0;
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  char bar[kBarWidth + 1], read[16], total[16], speed[16], left[40] = "";
  const int filled = static_cast<int>(done * kBarWidth / p.total);
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  size_text(done, read, sizeof read);
  size_text(p.total, total, sizeof total);
  size_text(static_cast<uint64_t>(rate), speed, sizeof speed);
  if (rate > 0) {
    const auto secs = static_cast<unsigned long>(static_cast<double>(p.total - done) / rate);
    std::snprintf(left, sizeof left, "%lu:%02lu:%02lu left", secs / 3600, secs / 60 % 60,
                  secs % 60);
  }
  std::fprintf(stderr, "\r[%s] %3d%% %s of %s %s/s %s ", bar,
               static_cast<int>(done * 100 / p.total), read, total, speed, left);
}

void end_progress(FILE *file) {
  if (g_progress.file != file || file == nullptr) return;
  g_progress.file = nullptr;
  std::fprintf(stderr, "\r%*s\r", 79, "");  // the next line starts on a clean row
}

}  // namespace

Buffer::~Buffer() {
  std::free(data_);
}

uint8_t *Buffer::reserve(size_t n) {
  if (capacity_ - size_ < n) {
    size_t want = capacity_ < 4096 ? 4096 : capacity_;
    while (want - size_ < n) want *= 2;
    auto *grown = static_cast<uint8_t *>(std::realloc(data_, want));
    if (grown == nullptr) {
      error("out of memory (%llu bytes)", static_cast<unsigned long long>(want));
      std::exit(kFailed);
    }
    data_ = grown;
    capacity_ = want;
  }
  return data_ + size_;
}

void Buffer::append(const void *bytes, size_t n) {
  if (n == 0) return;
  std::memcpy(reserve(n), bytes, n);
  size_ += n;
}

void Buffer::resize(size_t n) {
  if (n > size_) reserve(n - size_);
  size_ = n;
}

void set_command(const char *name) {
  g_command = name;
}

const char *command() {
  return g_command;
}

void error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  verror(format, args);
  va_end(args);
}

int usage(const char *format, ...) {
  va_list args;
  va_start(args, format);
  verror(format, args);
  va_end(args);
  std::fprintf(stderr, "Try 'quorvel %s --help'.\n", g_command);
  return kUsage;
}

int help(const char *text) {
  print("%s", text);
  return kOk;
}

Parsed parse(int argc, char **argv, const Option *options, size_t count, int *operands) {
  int kept = 0;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const char *word = argv[i];
    if (options_end || word[0] != '-' || word[1] == '\0') {
      argv[1 + kept++] = argv[i];
      continue;
    }
    if (std::strcmp(word, "--") == 0) {
      options_end = true;
      continue;
    }
    if (std::strcmp(word, "-h") == 0 || std::strcmp(word, "--help") == 0) return Parsed::kHelp;
    const Option *found = nullptr;
    const char *joined = nullptr;
    for (size_t k = 0; k < count && found == nullptr; ++k)  // exact names first
      if ((joined = match(options[k], word)) != nullptr && *joined == '\0') found = &options[k];
    for (size_t k = 0; k < count && found == nullptr; ++k)
      if ((joined = match(options[k], word)) != nullptr) found = &options[k];
    if (found == nullptr) {
      usage("unknown option '%s'", word);
      return Parsed::kUsage;
    }
    if (found->value == nullptr) {
      *found->flag = true;
    } else if (*joined != '\0' || joined[-1] == '=') {
      *found->value = joined;
    } else if (i + 1 < argc) {
      *found->value = argv[++i];
    } else {
      usage("option '%s' needs a value", word);
      return Parsed::kUsage;
    }
  }
  *operands = kept;
  return Parsed::kRun;
}

const char *input_name(const char *path) {
  return is_stdin(path) ? "-" : path;
}

FILE *open_input(const char *path) {
  if (is_stdin(path)) {
    start_progress(stdin);
    return stdin;
  }
  FILE *file = std::fopen(path, "rb");
  if (file == nullptr) error("%s: %s", path, std::strerror(errno));
  if (file != nullptr) start_progress(file);
  return file;
}

void close_input(FILE *file) {
  end_progress(file);
  if (file != nullptr && file != stdin) std::fclose(file);
}

bool read_some(FILE *file, const char *path, uint8_t *into, size_t capacity, size_t *got) {
  errno = 0;
  *got = std::fread(into, 1, capacity, file);
  if (*got == 0 && std::ferror(file)) {
    error("%s: %s", input_name(path), std::strerror(errno != 0 ? errno : EIO));
    std::clearerr(file);
    return false;
  }
  if (file == g_progress.file) {
    g_progress.done += *got;
    draw_progress();
  }
  return true;
}

bool read_all(const char *path, Buffer *out) {
  FILE *file = open_input(path);
  if (file == nullptr) return false;
  bool ok = true;
  for (size_t got = 1; ok && got != 0;) {
    ok = read_some(file, path, out->reserve(65536), 65536, &got);
    out->commit(ok ? got : 0);
  }
  close_input(file);
  return ok;
}

bool write_out(const void *bytes, size_t n) {
  if (g_stdout_failed) return false;
  errno = 0;
  if (n != 0 && std::fwrite(bytes, 1, n, stdout) != n) stdout_failed(errno);
  return !g_stdout_failed;
}

bool print(const char *format, ...) {
  if (g_stdout_failed) return false;
  va_list args;
  va_start(args, format);
  errno = 0;
  const int written = std::vfprintf(stdout, format, args);
  va_end(args);
  if (written < 0) stdout_failed(errno);
  return !g_stdout_failed;
}

int finish(int code) {
  // Buffered output meets a full disk or a closed pipe only here.
  errno = 0;
  if (!g_stdout_failed && (std::fflush(stdout) != 0 || std::ferror(stdout))) stdout_failed(errno);
  errno = 0;
  if (std::fclose(stdout) != 0) stdout_failed(errno);
  return g_stdout_failed && code == kOk ? kFailed : code;
}

bool write_output(const char *path, const void *bytes, size_t n) {
  if (is_stdin(path)) return write_out(bytes, n);
  FILE *file = std::fopen(path, "wb");
  if (file == nullptr) {
    error("%s: %s", path, std::strerror(errno));
    return false;
  }
  errno = 0;
  bool ok = std::fwrite(bytes, 1, n, file) == n && std::fflush(file) == 0;
  const int err = errno;
  ok = std::fclose(file) == 0 && ok;
  if (!ok) error("%s: %s", path, std::strerror(err != 0 ? err : errno != 0 ? errno : EIO));
  return ok;
}

bool parse_hex(const char *text, Buffer *out) {
  const size_t n = std::strlen(text);
  if (n == 0 || n % 2 != 0 || n > 0x7ffffffe) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::strchr("0123456789abcdefABCDEF", text[i]) == nullptr) return false;
  const size_t at = out->size();
  const auto len = static_cast<int32_t>(n);
  const int32_t got = mmHexString2Data(text, len, out->reserve(n / 2), len / 2);
  out->commit(static_cast<size_t>(got));
  return out->size() - at == n / 2;
}

void to_hex(const uint8_t *bytes, size_t n, char *out) {
  out[0] = '\0';
  if (n != 0)
    mmData2HexString(bytes, static_cast<int32_t>(n), out, static_cast<int32_t>(2 * n + 1));
}

}  // namespace qcli
