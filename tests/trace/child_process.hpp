// Runs a test body in a forked child, for state a process can set up only
// once (the debug queue, the trace-file slots).  The body uses the usual
// gtest assertions; the child reports them and exits 1 when any failed.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace qrvl_test {

template <typename Body>
void run_in_child(Body body) {
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    alarm(120);  // a hang shows up as a failed child, not a stuck suite
    body();
    fflush(stdout);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's checks failed (see above)";
}

}  // namespace qrvl_test
