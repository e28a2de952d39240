// The fork harness the other programs rely on: how a child ended, what it
// wrote, and a child that hangs.
#include "support/child_process.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

using qrvl_test::run_child;

TEST(ChildProcess, ReportsHowTheChildEndedAndWhatItWrote) {
  const auto both = run_child(
      [] {
        std::printf("out ");
        std::fprintf(stderr, "err");
        std::exit(7);
      },
      {.capture_stdout = true, .capture_stderr = true});
  EXPECT_EQ(both.status + "|" + both.out + "|" + both.err, "exit 7|out |err");
  const auto failed = run_child([] { EXPECT_EQ(1, 2); }, {.capture_stdout = true});
  EXPECT_EQ(failed.status, "exit 1");  // a failed check in the child
  EXPECT_EQ(run_child([] { std::raise(SIGABRT); }).status, "signal 6 (Aborted)");
  const auto hung = run_child([] { pause(); }, {.capture_stdout = true, .timeout_seconds = 1});
  EXPECT_EQ(hung.status, "timed out after 1 s");
}

}  // namespace
