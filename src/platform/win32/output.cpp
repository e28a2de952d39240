// The debugger output channel: OutputDebugStringA, one call per line.  A
// line without a final line feed gets one on this channel only, so that
// a debugger shows one trace line per row.
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>

#include <cstring>

#include "platform/platform.hpp"

namespace quorvel::platform {

void debug_output(const char *line, size_t length) {
  // OutputDebugStringA takes a terminated string.  Trace lines are at most
  // 1024 bytes; a longer text goes out in pieces of the buffer's size.
  char buffer[1100];
  do {
    const size_t n = length < sizeof buffer - 2 ? length : sizeof buffer - 2;
    memcpy(buffer, line, n);
    line += n;
    length -= n;
    size_t end = n;
    if (length == 0 && (n == 0 || buffer[n - 1] != '\n')) buffer[end++] = '\n';
    buffer[end] = '\0';
    OutputDebugStringA(buffer);
  } while (length > 0);
}

}  // namespace quorvel::platform
