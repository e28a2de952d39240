// The Windows side of run_child (included by child_process.hpp).  Windows
// cannot fork, so the parent starts its own program again for the current
// test alone, and names in QRVL_TEST_CHILD the run_child call of that test
// the child is for (calls are counted from 0 at each test's start, so a call
// in a loop works too).  The child replays the test up to that call; the
// calls before it return without running their bodies, and checks failing
// outside the body do not count.  Until the body starts, the child's
// standard output and error go to the null device, so that a capture holds
// only what the body writes, as with fork.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace qrvl_test {

[[noreturn]] inline void child_exit(int code) {
  std::fflush(nullptr);
  _exit(code);
}

namespace detail {

inline constexpr char kChildVariable[] = "QRVL_TEST_CHILD";  // "<call> <parent's process id>"

struct ChildState {
  int call = -1;  // the run_child call this child runs; -1 in the parent
  unsigned long parent = GetCurrentProcessId();  // the process that runs the test itself
  int calls = 0;      // run_child calls so far in the current test
  int temp_dirs = 0;  // TempDirs so far in the current test (files.hpp)
  int saved[2] = {-1, -1};  // a child's own standard output and error
};

inline ChildState &state() {
  static ChildState s;
  return s;
}

// Binary, so that a capture holds the bytes the body gave the C library,
// as on POSIX, and not their text-mode translation ("\n" to "\r\n").
inline void restore_streams() {
  std::fflush(nullptr);
  for (int i = 0; i < 2; ++i) {
    _dup2(state().saved[i], i + 1);
    _setmode(i + 1, _O_BINARY);
  }
}

// Failed checks of the current test so far.
inline int failures() {
  const ::testing::TestResult *r =
      ::testing::UnitTest::GetInstance()->current_test_info()->result();
  int n = 0;
  for (int i = 0; i < r->total_part_count(); ++i) n += r->GetTestPartResult(i).failed();
  return n;
}

class ChildCounter : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo &) override {
    state().calls = 0;
    state().temp_dirs = 0;
  }
  // A child that gets here never reached its call.
  void OnTestProgramEnd(const ::testing::UnitTest &) override {
    if (state().call < 0) return;
    restore_streams();
    std::fprintf(stderr, "run_child call %d of the test was not reached\n", state().call);
    child_exit(2);
  }
};

// A crash in a child ends it at once with the exception's code, as a
// signal ends a forked one, without starting a debugger or error report.
inline LONG WINAPI end_with_exception(EXCEPTION_POINTERS *exception) {
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Before main (and before gtest_main's banner): a child finds its call and
// silences its standard streams.
inline const bool g_child_setup = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ChildCounter);
  ChildState &s = state();
  const char *value = std::getenv(kChildVariable);
  if (value == nullptr || std::sscanf(value, "%d %lu", &s.call, &s.parent) != 2) return true;
  SetUnhandledExceptionFilter(end_with_exception);
  const int null = _open("NUL", _O_WRONLY);
  for (int i = 0; i < 2; ++i) {
    s.saved[i] = _dup(i + 1);
    _dup2(null, i + 1);
  }
  _close(null);
  return true;
}();

inline HANDLE inheritable_copy(int fd) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(_get_osfhandle(fd)),
                  GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
  return copy;
}

// Reads a pipe to its end, on a thread of its own so that neither pipe fills.
inline void drain(HANDLE pipe, std::string *into) {
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(pipe, buf, sizeof buf, &n, nullptr)) into->append(buf, n);
  CloseHandle(pipe);
}

inline std::string command_line() {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
  // Uncaught by gtest, a crash ends the child (end_with_exception).
  return std::string("\"") + exe + "\" --gtest_catch_exceptions=0 --gtest_filter=" +
         test->test_suite_name() + "." + test->name();
}

// Starts the child for call with the streams the options ask for; reads[i]
// receives the read end of the pipe of a captured stream (stdout, stderr).
inline bool start(int call, const ChildOptions &options, HANDLE (&reads)[2],
                  PROCESS_INFORMATION &child) {
  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  HANDLE *ends[3] = {&start.hStdInput, &start.hStdOutput, &start.hStdError};
  const bool capture[3] = {false, options.capture_stdout, options.capture_stderr};
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  for (int fd = 0; fd < 3; ++fd) {
    if (!capture[fd]) {
      *ends[fd] = inheritable_copy(fd);
    } else if (CreatePipe(&reads[fd - 1], ends[fd], &inherit, 0)) {
      SetHandleInformation(reads[fd - 1], HANDLE_FLAG_INHERIT, 0);
    }
  }
  const std::string value = std::to_string(call) + " " + std::to_string(state().parent);
  SetEnvironmentVariableA(kChildVariable, value.c_str());
  std::string command = command_line();
  // Under wine a loaded wineserver now and then refuses a start it takes a
  // moment later; a real Windows refusal repeats, and is then reported.
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200 * attempt);
    started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &start, &child);
  }
  const DWORD error = started ? 0 : GetLastError();
  SetEnvironmentVariableA(kChildVariable, nullptr);
  for (HANDLE *end : ends)
    if (*end != nullptr) CloseHandle(*end);
  SetLastError(error);  // for the caller's report
  return started;
}

inline ChildResult spawn(int call, const ChildOptions &options) {
  std::fflush(nullptr);
  HANDLE reads[2] = {nullptr, nullptr};
  PROCESS_INFORMATION child{};
  const bool started = start(call, options, reads, child);
  ChildResult r;
  std::thread drains[2];
  for (int i = 0; i < 2; ++i)
    if (reads[i] != nullptr) drains[i] = std::thread(drain, reads[i], i ? &r.err : &r.out);
  DWORD code = 0;
  if (!started) {
    r.status = "CreateProcess failed (error " + std::to_string(GetLastError()) + ")";
  } else if (WaitForSingleObject(child.hProcess, DWORD(options.timeout_seconds) * 1000) ==
             WAIT_TIMEOUT) {
    TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, INFINITE);
    r.status = "timed out after " + std::to_string(options.timeout_seconds) + " s";
  } else {
    GetExitCodeProcess(child.hProcess, &code);
    r.status = "exit " + std::to_string(code);
  }
  for (std::thread &d : drains)
    if (d.joinable()) d.join();
  if (started) {
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  return r;
}

}  // namespace detail

// Runs body in a child that exits 1 if a gtest check in it failed, else 0.
template <typename Body>
ChildResult run_child(Body body, ChildOptions options = {}) {
  detail::ChildState &s = detail::state();
  const int call = s.calls++;
  if (s.call < 0) return detail::spawn(call, options);
  if (call != s.call) return {"not run in this child", "", ""};
  detail::restore_streams();
  const int before = detail::failures();
  body();
  child_exit(detail::failures() > before ? 1 : 0);
}

}  // namespace qrvl_test
