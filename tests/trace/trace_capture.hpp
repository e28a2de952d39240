// Helpers shared by the trace tests: capture of console lines, route
// records and what a body writes to a descriptor, default settings, the
// timestamp pattern, and the trace calls of each family by level.
#pragma once

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>
#else
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "quorvel.h"

namespace trace_test {

struct RouteRecord {
  int route;
  std::string tag, message, line, timestamp;
  uint32_t seconds, thread_id;
  int32_t level;
};

using PlainCall = void (*)(const char *format, ...);
using TaggedCall = void (*)(const char *tag, const char *format, ...);
inline const PlainCall kK[5] = {kLOGV, kLOGD, kLOGI, kLOGW, kLOGE};
inline const PlainCall kW[5] = {verlog_w, sdklog_w, infolog_w, warnlog_w, errlog_w};
inline const TaggedCall kT[5] = {verlog_t, sdklog_t, infolog_t, warnlog_t, errlog_t};

inline std::mutex g_mutex;
inline std::vector<std::string> g_console;
inline std::vector<RouteRecord> g_routed;

inline void capture_output(const char *line, int32_t length) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_console.emplace_back(line, static_cast<size_t>(length));
}

template <int N>
void capture_route(const DebugInfo *info) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_routed.push_back({N, info->tag, info->message, info->line, info->timestamp, info->seconds,
                      info->thread_id, info->level});
}

inline std::vector<std::string> take_console() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return std::exchange(g_console, {});
}

inline std::vector<RouteRecord> take_routed() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return std::exchange(g_routed, {});
}

inline void default_settings() {
  SetDebugMsgMask(0x1f);
  SetDebugFilterAtConsole(1);
  SetDebugSwitch(0);
  SetDebugTimeStringUseClocks(0);
  SetDebugLevel(0);
  SetDebugOperate(0);
}

#if defined(_WIN32)
inline uint32_t tid() { return static_cast<uint32_t>(GetCurrentThreadId()); }

// Runs body with descriptor fd sent into a pipe, which holds all that a
// trace test writes, and returns what was written there.
inline std::string capture_fd(int fd, void (*body)()) {
  fflush(nullptr);
  int ends[2];
  if (_pipe(ends, 1 << 16, _O_BINARY | _O_NOINHERIT) != 0) return "(capture failed)";
  const int saved = _dup(fd);
  _dup2(ends[1], fd);
  _close(ends[1]);
  body();
  fflush(nullptr);
  _dup2(saved, fd);  // closes the pipe's last write end
  _close(saved);
  std::string out;
  char buf[4096];
  for (int n; (n = _read(ends[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  _close(ends[0]);
  return out;
}
#else
inline uint32_t tid() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

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
#endif

// "MM-DD hh:mm:ss.mmm"
inline const char kStamp[] = R"(\d\d-\d\d \d\d:\d\d:\d\d\.\d\d\d)";

}  // namespace trace_test
