// Runs a test body in a forked child, for state a process can set up only
// once (the debug queue, the trace-file slots).  The body uses the usual
// gtest assertions; the child reports them and exits 1 when any failed.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

// Sends standard output to a file until stop() returns what was printed.
class StdoutCapture {
 public:
  StdoutCapture() {
    fflush(stdout);
    file_ = tmpfile();
    saved_ = dup(1);
    dup2(fileno(file_), 1);
  }
  std::string stop() {
    fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    std::string out;
    rewind(file_);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    fclose(file_);
    return out;
  }

 private:
  FILE *file_;
  int saved_;
};

inline size_t count_of(const std::string &haystack, const std::string &needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size()))
    ++n;
  return n;
}

}  // namespace qrvl_test
