// Field splitting by table, and commands run against real programs: on
// POSIX with the system shell as the oracle of word splitting, on Windows
// with the system's own command processor and tools.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif
#endif
#if !defined(RUNNING_ON_VALGRIND)
#define RUNNING_ON_VALGRIND 0
#endif

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "common/alloc_hook.hpp"
#include "platform/platform.hpp"
#include "quorvel/runtime.h"
#include "support/alloc_fault.hpp"
#include "support/child_process.hpp"
#include "support/files.hpp"

namespace {

// The library's blocks not yet given back, counted for the whole program
// outside the cases' own AllocFault scopes.  A handle closed while its
// command runs comes back later on the reaper thread; a case that counts
// blocks waits first until none of an earlier case is still out, as its
// counts would take that handle's return for one of its own.
std::atomic<int> blocks_out{0};

void *counted_malloc(size_t size) {
  void *block = std::malloc(size);
  if (block != nullptr) ++blocks_out;
  return block;
}

void counted_free(void *block) {
  --blocks_out;
  std::free(block);
}

const quorvel::detail::AllocHooks kCounted{&counted_malloc, &counted_free};
[[maybe_unused]] const quorvel::detail::AllocHooks kCountingInstalled = quorvel::detail::set_alloc_hooks(&kCounted);

bool no_handle_still_out() {
  for (int i = 0; i < 120000 && blocks_out.load() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return blocks_out.load() == 0;
}

std::string rows_of(const char *table, int rows, int width) {
  std::string joined;
  for (int r = 0; r < rows; ++r) joined += std::string(table + r * width) + "|";
  return joined;
}

TEST(CommandFields, NcommandFillsFixedRows) {
  struct Case {
    const char *src;
    int rows, width, result;
    const char *want;
  } const cases[] = {
      {"a,b,,c", 4, 8, 4, "a|b||c|"},
      {"a,", 3, 8, 2, "a|||"},
      {"a,b,c", 2, 8, 2, "a|b|"},
      {"", 3, 8, 1, "|||"},
      {"abcdef,gh", 2, 4, 2, "abc|gh|"},
      {",", 1, 4, 1, "|"},
      {"x", 1, 1, 1, "|"},
      {"a", 0, 4, 0, ""},
      {"a", 2, 0, 0, ""},
  };
  for (const Case &c : cases) {
    char table[64];
    std::memset(table, 'Z', sizeof table);
    EXPECT_EQ(Ncommand(c.src, table, ',', c.rows, c.width), c.result) << c.src;
    if (c.result > 0) {
      EXPECT_EQ(rows_of(table, c.rows, c.width), c.want) << c.src;
    } else {
      EXPECT_EQ(table[0], 'Z') << "nothing written";
    }
  }
}

TEST(CommandFields, CutterSplitsInPlaceAndRecoverUndoesIt) {
  struct Case {
    const char *text;
    int max, result;
    const char *want;  // the stored fields, each followed by |
  } const cases[] = {
      {"a,b,,c", 8, 4, "a|b||c|"}, {"a,", 8, 1, "a|"}, {"a,b,c", 2, 2, "a|b,c|"},
      {",a", 8, 2, "|a|"},         {"", 8, 0, ""},     {"abc", 1, 1, "abc|"},
  };
  for (const Case &c : cases) {
    char text[32];
    std::strcpy(text, c.text);
    char *fields[8];
    ASSERT_EQ(NCommandCutter(text, ',', fields, c.max), c.result) << c.text;
    std::string got;
    for (int i = 0; i < c.result; ++i) got += std::string(fields[i]) + "|";
    EXPECT_EQ(got, c.want) << c.text;
    for (int i = c.result; i < c.max; ++i) EXPECT_STREQ(fields[i], "");
    int replaced = 0;
    for (size_t i = 0; i < std::strlen(c.text); ++i) replaced += text[i] == '\0';
    NCommandRecover(text, ',', replaced);
    EXPECT_STREQ(text, c.text);
  }
  char *untouched = reinterpret_cast<char *>(1);
  char text[] = "a,b";
  EXPECT_EQ(NCommandCutter(text, ',', &untouched, 0), 0);
  EXPECT_EQ(untouched, reinterpret_cast<char *>(1));
  NCommandRecover(text, ',', 0);
  EXPECT_STREQ(text, "a,b");
  // NULL texts, tables and field arrays: nothing split, nothing written.
  char table[4] = {'Z'};
  EXPECT_EQ(Ncommand(nullptr, table, ',', 1, 4) + Ncommand("a", nullptr, ',', 1, 4), 0);
  EXPECT_EQ(table[0], 'Z');
  EXPECT_EQ(NCommandCutter(text, ',', nullptr, 4), 0);
  char *fields[2] = {text, text};
  EXPECT_EQ(NCommandCutter(nullptr, ',', fields, 2), 0);
  EXPECT_STREQ(fields[0], "");
  EXPECT_STREQ(fields[1], "");
  NCommandRecover(nullptr, ',', 3);
  EXPECT_STREQ(text, "a,b");
}

// Everything the command prints, read with the given buffer size, each
// cmd_fgets result followed by '#'; "NULL" when the command does not start.
std::string run(const char *command, int size = 256) {
  CmdPipe *pipe = cmd_popen(command);
  if (pipe == nullptr) return "NULL";
  std::string out;
  char buf[256];
  while (cmd_fgets(buf, size, pipe) != nullptr) out += std::string(buf) + "#";
  EXPECT_EQ(cmd_pclose(pipe), -1);
  return out;
}

// What each platform's own programs print, read with the given buffer size.
struct Printed {
  const char *line;
  int size;
  const char *want;
};

#if defined(_WIN32)
const Printed kPrinted[] = {
    {"cmd /c \"echo one& echo two\"", 256, "one\r\n#two\r\n#"},
    {"cmd /c echo abcdef", 4, "abc#def#\r\n#"},
    {"cmd /c <nul set /p =no line feed", 256, ""},  // a partial line at the end gives null
    {"cmd /c \"echo to stderr 1>&2& echo out\"", 256, "to stderr \r\n#out\r\n#"},
};
const char kPrintsX[] = "cmd /c <nul set /p =x";
const char kSilent[] = "cmd /c exit";
const char *const kCannotStart[] = {"no-such-program-quorvel", "", " \t ", "\"\""};
#else
const Printed kPrinted[] = {
    {"printf 'one\\ntwo\\n'", 256, "one\n#two\n#"},
    {"printf 'abcdef\\n'", 4, "abc#def#\n#"},
    {"printf 'no line feed'", 256, ""},  // a partial line at the end gives null
    {"sh -c 'echo to stderr >&2; echo out'", 256, "to stderr\n#out\n#"},
};
const char kPrintsX[] = "printf x";
const char kSilent[] = "true";
const char *const kCannotStart[] = {"no-such-program-quorvel", "", "   ", "''", "printf 'unclosed",
                                    "printf \"x"};

std::string run_in_shell(const char *command) {
  FILE *f = popen(command, "r");
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, f) != nullptr) out += std::string(buf) + "#";
  pclose(f);
  return out;
}

TEST(Command, SplitsWordsAsTheShellDoes) {
  const char *lines[] = {
      "printf '[%s]\\n' one \"two words\" 'single  quoted' back\\ slash \"q\\\"uote\"",
      "printf '[%s]\\n' \"a\\\\b\" \"c\\d\" '' \"\" mixed\"dq\"'sq'end '\\n stays'",
      "printf '[%s]\\n' joined\\\nline \"dq\\\nline\" \t tab\t\tand  spaces ",
      "printf '[%s]\\n' \"\\$HOME\" \"\\`x\\`\" '$HOME' \\$HOME \\' \\\"",
  };
  for (const char *line : lines) EXPECT_EQ(run(line), run_in_shell(line)) << line;
  // Without a shell, its operators and expansions are plain text.
  EXPECT_EQ(run("printf '<%s>\\n' a;b $HOME * ~ #c |"),
            "<a;b>\n#<$HOME>\n#<*>\n#<~>\n#<#c>\n#<|>\n#");
  // A line feed separates words (a shell would end the command there); a
  // final backslash stays.
  EXPECT_EQ(run("printf '<%s>\\n' a\nb end\\"), "<a>\n#<b>\n#<end\\>\n#");
}
#endif

TEST(Command, ReadsLinesByteByByte) {
  for (const Printed &p : kPrinted) EXPECT_EQ(run(p.line, p.size), p.want) << p.line;
  CmdPipe *pipe = cmd_popen(kPrintsX);
  ASSERT_NE(pipe, nullptr);
  char buf[4] = "ab";
  EXPECT_EQ(cmd_fgets(buf, 1, pipe), buf);
  EXPECT_STREQ(buf, "ab") << "size 1 reads nothing";
  EXPECT_EQ(cmd_fgets(buf, 4, pipe), nullptr);
  EXPECT_STREQ(buf, "x") << "the byte read before the end stays stored";
  EXPECT_EQ(cmd_pclose(pipe), -1);
  EXPECT_EQ(cmd_fgets(buf, 4, nullptr), nullptr);
  EXPECT_EQ(cmd_pclose(nullptr), -1);
}

TEST(Command, RefusesWhatCannotStart) {
  for (const char *bad : kCannotStart) EXPECT_EQ(run(bad), "NULL") << bad;
  EXPECT_EQ(cmd_popen(nullptr), nullptr);
  // Each allocation fails in turn: NULL, and with memory back commands run.
  // A closed handle may come back on the reaper thread, a little later.
  ASSERT_TRUE(no_handle_still_out());
  qrvl_test::AllocFault fault;
  const Printed &p = kPrinted[0];
  CmdPipe *pipe = nullptr;
  const int rounds = fault.sweep(
      [&](int) {
        pipe = cmd_popen(p.line);
        EXPECT_EQ(pipe != nullptr, fault.refused() == 0);
      },
      [&] {
        if (pipe != nullptr) {
          char buf[256];
          EXPECT_NE(cmd_fgets(buf, sizeof buf, pipe), nullptr);
          EXPECT_EQ(cmd_pclose(pipe), -1);
        }
        EXPECT_EQ(run(p.line, p.size), p.want);
        for (int spin = 0; spin < 30000 && fault.frees() < fault.mallocs(); ++spin)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
      });
  EXPECT_EQ(rounds, 3);  // the handle, the word scratch, then none refused
}

#if !defined(_WIN32)
// The children of this process, by process id, with their state letter
// ('Z' once ended and not yet collected).
std::map<pid_t, char> children() {
  std::map<pid_t, char> found;
  DIR *proc = opendir("/proc");
  for (dirent *e; (e = readdir(proc)) != nullptr;) {
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &ppid);
    if (ppid == getpid()) found[std::atoi(e->d_name)] = state;
  }
  closedir(proc);
  return found;
}

int zombie_children() {
  int zombies = 0;
  for (const auto &[pid, state] : children()) zombies += state == 'Z';
  return zombies;
}

bool no_zombies_within_seconds(int seconds) {
  for (int i = 0; i < seconds * 100; ++i) {
    if (zombie_children() == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The program is looked up as execvp would: a name with a slash as it
// stands, else along PATH (an empty entry is the working directory, no PATH
// is "/bin:/usr/bin"), and only a regular executable file is run.
TEST(Command, FindsTheProgramAsExecvpWould) {
  qrvl_test::run_in_child([] {  // PATH and the working directory change
    const qrvl_test::TempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    std::ofstream("here-quorvel") << "#!/bin/sh\necho here\n";
    std::ofstream("plain-quorvel") << "#!/bin/sh\necho plain\n";
    std::ofstream("no-interpreter-quorvel") << "#!/nonexistent-quorvel\n";
    ASSERT_EQ(chmod("here-quorvel", 0755) | chmod("no-interpreter-quorvel", 0755), 0);
    const std::string long_entry = std::string(PATH_MAX, 'x') + ":/bin";
    const std::string long_name(PATH_MAX, 'y');
    struct Case {
      const char *path;  // nullptr: no PATH
      std::string line, want;
    } cases[] = {
        {"/nonexistent", "/bin/echo a", "a\n#"},
        {"/nonexistent", "./here-quorvel", "here\n#"},
        {"/nonexistent", "echo a", "NULL"},
        {nullptr, "echo a", "a\n#"},
        {"/nonexistent::/bin", "here-quorvel", "here\n#"},
        {"/nonexistent:", "here-quorvel", "here\n#"},
        {"/bin", "here-quorvel", "NULL"},
        {"/bin", "./plain-quorvel", "NULL"},  // not executable
        {"/bin", "/tmp", "NULL"},             // a directory
        {"/bin", long_name, "NULL"},
        {long_entry.c_str(), "echo a", "a\n#"},
    };
    for (const Case &c : cases) {
      if (c.path == nullptr) {
        unsetenv("PATH");
      } else {
        setenv("PATH", c.path, 1);
      }
      EXPECT_EQ(run(c.line.c_str()), c.want) << c.line << " with PATH " << (c.path ? c.path : "unset");
    }
    // Found but refused by the system.  The emulator, and valgrind (which
    // runs the spawning child as a copy instead of in shared memory), report
    // that only as exit status 127 of the new process.
#if !defined(QRVL_TEST_UNDER_EMULATOR)
    if (!RUNNING_ON_VALGRIND) {
      EXPECT_EQ(run("./no-interpreter-quorvel"), "NULL");
    }
#endif
  });
}

TEST(Command, CollectsItsChildrenAndOnlyThem) {
  pid_t own = fork();
  if (own == 0) _exit(7);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(run("true"), "");
  CmdPipe *running = cmd_popen("sleep 0.2");  // closed before it ends
  ASSERT_NE(running, nullptr);
  EXPECT_EQ(cmd_pclose(running), -1);
  int status = 0;
  ASSERT_EQ(waitpid(own, &status, 0), own) << "the caller's own child is left to the caller";
  EXPECT_EQ(WEXITSTATUS(status), 7);
  EXPECT_TRUE(no_zombies_within_seconds(10));
  // A command the caller reaped itself is not waited for: its handle comes
  // back at once.
  ASSERT_TRUE(no_handle_still_out());
  qrvl_test::run_in_child([] {
    CmdPipe *ended = cmd_popen("echo x");
    ASSERT_NE(ended, nullptr);
    char buf[8];
    while (cmd_fgets(buf, sizeof buf, ended) != nullptr) {
    }
    int ended_status = 0;
    ASSERT_GT(waitpid(-1, &ended_status, 0), 0);
    EXPECT_EQ(cmd_pclose(ended), -1);
    EXPECT_EQ(blocks_out.load(), 0);
  });
  // A child forked while the reaper thread waits for work starts one of its
  // own (ThreadSanitizer and qemu's user mode cannot start threads after
  // such a fork).
#if !defined(__SANITIZE_THREAD__) && !defined(QRVL_TEST_UNDER_EMULATOR)
  ASSERT_TRUE(no_handle_still_out());
  qrvl_test::run_in_child([] {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(cmd_pclose(cmd_popen("sleep 0.1")), -1);
      EXPECT_TRUE(no_handle_still_out());
    }
  });
#endif
}

// The system refuses the reaper thread: a command closed while it runs is
// collected, and its handle given back, by the next command instead.
TEST(Command, CollectsAtTheNextCommandWhenTheReaperCannotStart) {
  // The child inherits the list of handles still waiting and would give them back.
  ASSERT_TRUE(no_handle_still_out());
  qrvl_test::run_in_child([] {  // the reaper starts once per process
    qrvl_test::AllocFault fault;
    CmdPipe *running = cmd_popen("sleep 0.5");
    ASSERT_NE(running, nullptr);
    quorvel::platform::fail_thread_starts(1);
    EXPECT_EQ(cmd_pclose(running), -1);
    quorvel::platform::fail_thread_starts(0);
    for (int i = 0; i < 3000 && zombie_children() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(zombie_children(), 1) << "ended with nobody to collect it yet";
    EXPECT_EQ(fault.frees(), fault.mallocs() - 1) << "its handle waits with it";
    EXPECT_EQ(run(kSilent), "");
    EXPECT_TRUE(no_zombies_within_seconds(10));
    for (int i = 0; i < 3000 && fault.frees() < fault.mallocs(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(fault.frees(), fault.mallocs());
  });
}

// More closed commands than the reaper watches at once (64): the one left
// out of its watch list, the first closed, is collected soon after it ends
// by the reaper looking again, not when a watched one ends seven seconds on.
TEST(Command, CollectsACommandBeyondTheWatchedOnes) {
  ASSERT_TRUE(no_handle_still_out());
  const std::map<pid_t, char> before = children();
  EXPECT_EQ(cmd_pclose(cmd_popen("sleep 1")), -1);
  pid_t short_one = 0;
  for (const auto &[pid, state] : children())
    if (before.count(pid) == 0) short_one = pid;
  ASSERT_NE(short_one, 0);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(cmd_pclose(cmd_popen("sleep 8")), -1);
  std::map<pid_t, char> now = children();
  for (int i = 0; i < 700 && now.count(short_one) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    now = children();
  }
  EXPECT_EQ(now.count(short_one), 0u) << "not collected within 7 s";
  int running = 0;
  for (const auto &[pid, state] : now) {
    running += before.count(pid) == 0 && state != 'Z';
    if (before.count(pid) == 0) kill(pid, SIGKILL);
  }
  EXPECT_EQ(running, 64) << "collected only once a watched command ended";
  EXPECT_TRUE(no_zombies_within_seconds(10));
  EXPECT_TRUE(no_handle_still_out());
}

// A signal interrupting the wait for output is no end of it: the read is
// made again.  The signals go to the reading thread until its line came.
// (qemu's user mode does not interrupt a blocked read this way.)
#if !defined(QRVL_TEST_UNDER_EMULATOR)
TEST(Command, ReadsOnThroughInterruptingSignals) {
  struct sigaction quiet = {}, saved = {};
  quiet.sa_handler = [](int) {};
  sigemptyset(&quiet.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &quiet, &saved), 0);  // no SA_RESTART
  CmdPipe *pipe = cmd_popen("sh -c 'sleep 0.3; echo x'");
  ASSERT_NE(pipe, nullptr);
  std::atomic<bool> read_done{false};
  const pthread_t reader = pthread_self();
  std::thread interrupter([&] {
    while (!read_done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (!read_done) pthread_kill(reader, SIGALRM);
    }
  });
  char line[8] = "";
  EXPECT_EQ(cmd_fgets(line, sizeof line, pipe), line);
  read_done = true;
  interrupter.join();
  EXPECT_STREQ(line, "x\n");
  EXPECT_EQ(cmd_pclose(pipe), -1);
  sigaction(SIGALRM, &saved, nullptr);
}
#endif

// With standard input and output closed the pipe's ends land on 0 and 1;
// the command still gets its output end as 1 and 2.
TEST(Command, RunsWithTheStandardDescriptorsClosed) {
  qrvl_test::run_in_child([] {
    const int out = dup(1);
    close(0);
    close(1);
    const std::string got = run("echo x");
    dup2(out, 1);
    EXPECT_EQ(got, "x\n#");
  });
}

TEST(Command, CountsProcessors) {
  EXPECT_EQ(_WIN_getcpunum(), static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
}
#else
TEST(Command, ChildInheritsOnlyItsOwnPipe) {
  // A pipe made inheritable elsewhere, as by a thread about to start its own child.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
  // The command processor's echo is not buffered: the line comes while it still runs.
  CmdPipe *pipe = cmd_popen("cmd /c \"echo started& ping -n 3 127.0.0.1 >nul\"");
  ASSERT_NE(pipe, nullptr);
  char line[256];
  ASSERT_NE(cmd_fgets(line, sizeof line, pipe), nullptr) << "the command runs for two seconds";
  CloseHandle(write_end);
  EXPECT_FALSE(PeekNamedPipe(read_end, nullptr, 0, nullptr, nullptr, nullptr))
      << "a copy of the write end lives on in the command";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  CloseHandle(read_end);
  while (cmd_fgets(line, sizeof line, pipe) != nullptr) {
  }
  EXPECT_EQ(cmd_pclose(pipe), -1);
}

// Handles open in this process, found by asking after every possible value:
// GetProcessHandleCount is not answered everywhere (wine says 0).
int open_handles() {
  int open = 0;
  DWORD flags;
  for (uintptr_t value = 4; value < 0x10000; value += 4)
    open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
  return open;
}

TEST(Command, LeavesNoHandlesOpen) {
  ASSERT_EQ(run(kSilent), "") << "a first start may open handles the system keeps for later ones";
  int before = open_handles();
  for (int i = 0; i < 10; ++i) {  // a handle lost per cycle shows as ten
    ASSERT_EQ(run(kSilent), "");
    CmdPipe *unread = cmd_popen("cmd /c echo unread");  // closed before it is read
    ASSERT_NE(unread, nullptr);
    EXPECT_EQ(cmd_pclose(unread), -1);
  }
  EXPECT_EQ(open_handles(), before);
}

TEST(Command, CountsProcessors) {
  EXPECT_EQ(_WIN_getcpunum(), static_cast<int>(std::thread::hardware_concurrency()));
}
#endif

}  // namespace
