// Runs a test body in a child process, for state a process can set up only
// once and for calls that end the process; the parent can capture the
// child's output, kills it at its time-out and reports how it ended.
// POSIX forks (child_process_posix.hpp); Windows, which cannot fork, runs
// the test program again for the current test alone
// (child_process_win32.hpp).
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace qrvl_test {

struct ChildOptions {
  bool capture_stdout = false;
  bool capture_stderr = false;
  int timeout_seconds = 120;
};

struct ChildResult {
  std::string status;    // "exit N", "signal N (name)" (POSIX) or "timed out after N s"
  std::string out, err;  // the captured streams
};

}  // namespace qrvl_test

#if defined(_WIN32)
#include "child_process_win32.hpp"
#else
#include "child_process_posix.hpp"
#endif

namespace qrvl_test {

// Runs body in a child whose own gtest checks report there; the parent
// expects it to end with "exit 0".
template <typename Body>
void run_in_child(Body body, ChildOptions options = {}) {
  const ChildResult r = run_child(body, options);
  EXPECT_EQ(r.status, "exit 0") << "the child's checks failed (see above)";
}

}  // namespace qrvl_test
