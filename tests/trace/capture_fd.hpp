// Runs body with a descriptor (standard output or error) sent to a
// temporary file, and returns what was written there.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace trace_test {

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
