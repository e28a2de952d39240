// The trace calls of each family by level (V, D, I, W, E), and a capture
// of what a body writes to standard output or error.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "quorvel.h"

namespace trace_test {

using PlainCall = void (*)(const char *format, ...);
using TaggedCall = void (*)(const char *tag, const char *format, ...);
inline const PlainCall kK[5] = {kLOGV, kLOGD, kLOGI, kLOGW, kLOGE};
inline const PlainCall kW[5] = {verlog_w, sdklog_w, infolog_w, warnlog_w, errlog_w};
inline const TaggedCall kT[5] = {verlog_t, sdklog_t, infolog_t, warnlog_t, errlog_t};

// Runs body with descriptor fd sent to a temporary file and returns what
// was written there.
inline std::string capture_fd(int fd, void (*body)()) {
  fflush(nullptr);
  FILE *tmp = tmpfile();
  const int saved = dup(fd);
  dup2(fileno(tmp), fd);
  body();
  fflush(nullptr);
  dup2(saved, fd);
  close(saved);
  std::string out(static_cast<size_t>(lseek(fileno(tmp), 0, SEEK_END)), '\0');
  const bool read_all = pread(fileno(tmp), out.data(), out.size(), 0) == ssize_t(out.size());
  fclose(tmp);
  return read_all ? out : "(capture failed)";
}

}  // namespace trace_test
