// The POSIX side of run_child (included by child_process.hpp): the child
// is forked.  It leaves through child_exit, which writes the coverage
// counts of a --coverage build before _exit skips the at-exit work
// (tests/CMakeLists.txt links __gcov_dump in: a weak reference alone would
// not pull it from libgcov).
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" void __gcov_dump(void) __attribute__((weak));

namespace qrvl_test {

[[noreturn]] inline void child_exit(int code) {
  std::fflush(nullptr);
  if (__gcov_dump != nullptr) __gcov_dump();
  _exit(code);
}

namespace detail {

inline std::string describe(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  const int sig = WTERMSIG(status);
  return "signal " + std::to_string(sig) + " (" + strsignal(sig) + ")";
}

// Drains the child's pipes until it ends or its time runs out.
inline ChildResult wait_for(pid_t pid, pollfd (&pipes)[2], int timeout_seconds) {
  ChildResult r;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  int status = 0;
  while (pipes[0].fd >= 0 || pipes[1].fd >= 0 || waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      for (pollfd &p : pipes)
        if (p.fd >= 0) close(p.fd);
      r.status = "timed out after " + std::to_string(timeout_seconds) + " s";
      return r;
    }
    if (poll(pipes, 2, 20) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (pipes[i].fd < 0 || pipes[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(pipes[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i ? r.err : r.out).append(buf, static_cast<size_t>(n));
      } else {
        close(pipes[i].fd);
        pipes[i].fd = -1;
      }
    }
  }
  r.status = describe(status);
  return r;
}

}  // namespace detail

// Runs body in a child that exits 1 if a gtest check in it failed, else 0.
template <typename Body>
ChildResult run_child(Body body, ChildOptions options = {}) {
  std::fflush(nullptr);
  int fds[2][2] = {{-1, -1}, {-1, -1}};
  const bool capture[2] = {options.capture_stdout, options.capture_stderr};
  for (int i = 0; i < 2; ++i)
    if (capture[i] && pipe(fds[i]) != 0) return {"pipe failed", "", ""};
  const pid_t pid = fork();
  if (pid == 0) {
    for (int i = 0; i < 2; ++i) {
      if (!capture[i]) continue;
      close(fds[i][0]);
      dup2(fds[i][1], i + 1);
      close(fds[i][1]);
    }
    body();
    child_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  pollfd pipes[2];
  for (int i = 0; i < 2; ++i) {
    if (capture[i]) close(fds[i][1]);
    if (pid < 0 && capture[i]) close(fds[i][0]);
    pipes[i] = {fds[i][0], POLLIN, 0};
  }
  if (pid < 0) return {"fork failed", "", ""};
  return detail::wait_for(pid, pipes, options.timeout_seconds);
}

}  // namespace qrvl_test
