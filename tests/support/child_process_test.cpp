// The child harness the other programs rely on: how a child ended, what it
// wrote, a child that hangs, calls made in a loop, and the parent's
// temporary directory seen from a child.
#include "support/child_process.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/files.hpp"

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
#if defined(_WIN32)
  EXPECT_EQ(run_child([] { std::abort(); }).status, "exit 3");  // the C runtime's abort code
  // A crash is not caught by gtest in the child: it ends with its code.
  const auto crashed = run_child([] { RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr); },
                                 {.capture_stderr = true});
  EXPECT_EQ(crashed.status + "|" + crashed.err, "exit 3221225477|");
#else
  EXPECT_EQ(run_child([] { std::raise(SIGABRT); }).status, "signal 6 (Aborted)");
#endif
  const auto hung = run_child([] { std::this_thread::sleep_for(std::chrono::hours(1)); },
                              {.capture_stdout = true, .timeout_seconds = 1});
  EXPECT_EQ(hung.status, "timed out after 1 s");
}

// Each call runs its own body, and what the test wrote before it is not in
// the child's capture (on Windows the child replays the test up to its call).
TEST(ChildProcess, EachCallInALoopRunsItsOwnBody) {
  std::printf("before the calls\n");
  std::string seen;
  for (int i = 0; i < 3; ++i) {
    const auto r = run_child([i] { std::printf("%d", i); }, {.capture_stdout = true});
    seen += r.status + ":" + r.out + ";";
  }
  EXPECT_EQ(seen, "exit 0:0;exit 0:1;exit 0:2;");
}

// A child works in the directory its parent made, as a forked one would
// (on Windows, where the child makes its own TempDir again, it finds it).
TEST(ChildProcess, ChildSharesTheParentsTempDir) {
  const qrvl_test::TempDir dir;
  std::ofstream(dir / "parent") << "p";
  qrvl_test::run_in_child([&] {
    EXPECT_EQ(qrvl_test::read_file(dir / "parent"), "p");
    std::ofstream(dir / "child") << "c";
  });
  EXPECT_EQ(qrvl_test::read_file(dir / "child"), "c");
}

}  // namespace
