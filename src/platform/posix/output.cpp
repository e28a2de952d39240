// The debugger output channel: standard error, one write per line.
#include <unistd.h>

#include <cstring>

#include "platform/platform.hpp"

namespace quorvel::platform {

void debug_output(const char *line, size_t length) {
  // Trace lines are at most 1024 bytes; longer texts go out in one write
  // without the added line feed rather than being cut.
  char buffer[1100];
  bool add_newline = length == 0 || line[length - 1] != '\n';
  if (add_newline && length < sizeof buffer) {
    memcpy(buffer, line, length);
    buffer[length] = '\n';
    line = buffer;
    length += 1;
  }
  while (length > 0) {
    ssize_t n = write(STDERR_FILENO, line, length);
    if (n <= 0) return;
    line += n;
    length -= static_cast<size_t>(n);
  }
}

}  // namespace quorvel::platform
