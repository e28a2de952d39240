// The default console: standard error, one write per line, a line feed
// added where the line has none.  No output function is ever installed in
// this program, so every line goes there.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "trace_capture.hpp"

using namespace trace_test;

namespace {

TEST(TraceConsole, DefaultsPrintInfoWarningAndErrorToStandardError) {
  default_settings();
  std::string out = capture_fd(2, [] {
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
  out = capture_fd(2, [] { kLOGD("shown"); });
  EXPECT_TRUE(std::regex_match(out, std::regex(R"(\[D\])" + stamp + R"(\[)" + id +
                                               R"(\] \{ktrace\} shown)" + "\n")))
      << out;
  default_settings();
}

}  // namespace
