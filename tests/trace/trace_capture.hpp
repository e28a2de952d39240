// Helpers shared by the trace tests: capture of console lines and route
// records, default settings, and the timestamp pattern.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "quorvel.h"

namespace trace_test {

struct RouteRecord {
  int route;
  std::string tag, message, line, timestamp;
  uint32_t seconds, thread_id;
  int32_t level;
};

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
  auto out = std::move(g_console);
  g_console.clear();
  return out;
}

inline std::vector<RouteRecord> take_routed() {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto out = std::move(g_routed);
  g_routed.clear();
  return out;
}

inline void default_settings() {
  SetDebugMsgMask(0x1f);
  SetDebugFilterAtConsole(1);
  SetDebugSwitch(0);
  SetDebugTimeStringUseClocks(0);
  SetDebugLevel(0);
  SetDebugOperate(0);
}

inline uint32_t tid() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

// "MM-DD hh:mm:ss.mmm"
inline const char kStamp[] = R"(\d\d-\d\d \d\d:\d\d:\d\d\.\d\d\d)";

}  // namespace trace_test
