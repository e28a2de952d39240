// The default console: standard error on POSIX, the debugger output
// (OutputDebugStringA) on Windows; one write per line, a line feed added
// where the line has none.  No output function is ever installed in this
// program, so every line goes there.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "trace_capture.hpp"

using namespace trace_test;

namespace {

#if defined(_WIN32)
// Runs body while this process is the debugger-output monitor, and returns
// the strings this process sent: OutputDebugStringA hands each string to
// the holder of the shared DBWIN_BUFFER, one at a time, through the
// DBWIN_BUFFER_READY and DBWIN_DATA_READY events.  Other processes'
// strings are let through unread.
template <typename Body>
std::string capture_debug_strings(Body body) {
  HANDLE buffer_ready = CreateEventA(nullptr, FALSE, TRUE, "DBWIN_BUFFER_READY");
  HANDLE data_ready = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                      "DBWIN_BUFFER");
  const auto *view = static_cast<const char *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096));
  if (view == nullptr) return "(no monitor)";
  std::string text;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    for (;;) {
      const bool finished = done;  // all strings of the body came before done was set
      if (WaitForSingleObject(data_ready, 20) != WAIT_OBJECT_0) {
        if (finished) return;
        continue;
      }
      DWORD sender;
      std::memcpy(&sender, view, sizeof sender);
      if (sender == GetCurrentProcessId()) text += view + sizeof sender;
      SetEvent(buffer_ready);
    }
  });
  body();
  done = true;
  reader.join();
  UnmapViewOfFile(view);
  for (HANDLE h : {mapping, data_ready, buffer_ready}) CloseHandle(h);
  return text;
}

// What body sends to the debugger output, which nothing may reach
// standard error beside.
std::string console(void (*body)()) {
  std::string err;
  const std::string lines = capture_debug_strings([&] { err = capture_fd(2, body); });
  EXPECT_EQ(err, "") << "a trace line went to standard error";
  return lines;
}
#else
std::string console(void (*body)()) { return capture_fd(2, body); }
#endif

TEST(TraceConsole, DefaultsPrintInfoWarningAndErrorToTheConsole) {
  default_settings();
  std::string out = console([] {
    infolog_t("quorvel", "x=%d", 5);
    kLOGI("x");
    kLOGD("hidden");
    verlog_w("hidden");
    errlog_w("e");
  });
  std::string id = std::to_string(tid());
  std::string stamp = std::string(R"(\[)") + kStamp + R"(\])";
  std::regex expected(R"(\[I\])" + stamp + R"(\[)" + id + R"(\] \{quorvel\} x=5)" + "\r\n" +
                      R"(\[I\])" + stamp + R"(\[)" + id + R"(\] \{ktrace\} x)" + "\n" +
                      R"(\[E\])" + stamp + R"(\[)" + id + R"(\] e)" + "\r\n");
  EXPECT_TRUE(std::regex_match(out, expected)) << out;

  SetDebugSwitch(1);
  out = console([] { kLOGD("shown"); });
  EXPECT_TRUE(std::regex_match(out, std::regex(R"(\[D\])" + stamp + R"(\[)" + id +
                                               R"(\] \{ktrace\} shown)" + "\n")))
      << out;
  default_settings();
}

#if !defined(_WIN32)
// A line that standard error refuses is dropped, not retried; the next one
// goes out whole once writes succeed again.
TEST(TraceConsole, DropsALineStandardErrorRefuses) {
  default_settings();
  const int full = open("/dev/full", O_WRONLY), saved = dup(2);
  ASSERT_GE(full, 0);
  dup2(full, 2);
  errlog_t("quorvel", "lost");
  dup2(saved, 2);
  close(saved);
  close(full);
  const std::string out = console([] { errlog_t("quorvel", "kept"); });
  const std::string head = std::string(R"(\[E\]\[)") + kStamp + R"(\]\[)" + std::to_string(tid());
  EXPECT_TRUE(std::regex_match(out, std::regex(head + R"(\] \{quorvel\} kept)" + "\r\n"))) << out;
}
#endif

}  // namespace
