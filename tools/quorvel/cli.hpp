// What every subcommand of the quorvel command shares: exit codes, error
// lines, option parsing, reading inputs and checked writes to stdout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "quorvel.h"

namespace qcli {

enum Exit : int {
  kOk = 0,
  kFailed = 1,  // a check or a verification failed, or an input or output did
  kUsage = 2,   // the command line itself is wrong
};

// A growable byte buffer on malloc.  The tool never throws: when memory
// runs out it says so and exits with kFailed.
class Buffer {
 public:
  Buffer() = default;
  Buffer(const Buffer &) = delete;
  Buffer &operator=(const Buffer &) = delete;
  ~Buffer();
  uint8_t *data() { return data_; }
  const uint8_t *data() const { return data_; }
  size_t size() const { return size_; }
  void clear() { size_ = 0; }
  // Makes room for n more bytes past size() and returns where they go;
  // they count once commit(n) is called.
  uint8_t *reserve(size_t n);
  void commit(size_t n) { size_ += n; }
  void append(const void *bytes, size_t n);
  void push(uint8_t byte) { append(&byte, 1); }
  // Sets the size, growing the storage when needed (new bytes undefined).
  void resize(size_t n);

 private:
  uint8_t *data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// The subcommand named in error lines; main sets it before dispatching.
void set_command(const char *name);
const char *command();

// "quorvel: <command>: <message>" on stderr.
void error(const char *format, ...) QRVL_PRINTF(1, 2);
// An error line plus the hint to ask for --help; returns kUsage.
int usage(const char *format, ...) QRVL_PRINTF(1, 2);
// Prints a help text to stdout; returns kOk.
int help(const char *text);

// One option of a subcommand.  An option with a value writes it to *value
// (the last one given wins); a flag sets *flag.  Either name may be null.
struct Option {
  const char *short_name;  // "-w", or the single-dash words "-iv", "-in"
  const char *long_name;   // "--wrap"
  const char **value;
  bool *flag;
};

enum class Parsed { kRun, kHelp, kUsage };

// Parses argv[1..argc) against options.  -h and --help give kHelp; "--"
// ends the options; "-" is an operand.  A value follows its option as the
// next word, or joins it as "--long=VALUE" or "-xVALUE" (two-character
// short names only).  Operands are moved, in order, to argv[1..], their
// number to *operands.  Unknown options and missing values are reported
// as usage errors.
Parsed parse(int argc, char **argv, const Option *options, size_t count, int *operands);

// The name an input is shown by: "-" for standard input.
const char *input_name(const char *path);

// Opens path for binary reading; null or "-" is standard input.  Reports
// the reason and returns null when the file cannot be opened.
FILE *open_input(const char *path);
// Closes what open_input returned (standard input stays open).
void close_input(FILE *file);
// Reads up to capacity bytes; *got 0 means the end.  Reports the reason
// and returns false on a read error (a directory, an I/O error).
bool read_some(FILE *file, const char *path, uint8_t *into, size_t capacity, size_t *got);
// Appends the whole input at path to out; false after reporting a failure.
bool read_all(const char *path, Buffer *out);

// Writes to stdout.  The first failure is reported ("write error: ...")
// and every later write returns false at once.
bool write_out(const void *bytes, size_t n);
bool print(const char *format, ...) QRVL_PRINTF(1, 2);
// Flushes and closes stdout, reporting a failure not yet reported; returns
// code, or kFailed when stdout failed and code was kOk.
int finish(int code);

// Writes n bytes to a new or truncated file at path, or to stdout when
// path is null or "-"; false after reporting a failure.
bool write_output(const char *path, const void *bytes, size_t n);

// Parses hex text (an even number of digits, either case) into out; false
// for an empty text, an odd length or a non-hex character.
bool parse_hex(const char *text, Buffer *out);
// Writes the lower-case hex of n bytes and a NUL to out (2n + 1 chars).
void to_hex(const uint8_t *bytes, size_t n, char *out);

}  // namespace qcli
