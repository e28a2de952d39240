// Trace-file slots stay open for the life of a process, so each case runs in
// a child process working in a fresh temporary directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "quorvel/runtime.h"
#include "quorvel/trace.h"
#include "support/child_process.hpp"
#include "support/files.hpp"

namespace {

using qrvl_test::read_file;
using qrvl_test::run_in_child;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Runs body in a child working inside a fresh temporary directory, with the
// debug switch on unless told otherwise.
template <typename Body>
void in_temp_dir(Body body, bool switch_on = true) {
  const qrvl_test::TempDir dir;
  run_in_child([&] {
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    if (switch_on) SetDebugSwitch(1);
    body();
  });
}

// "name=contents;" for every file here, by name.
std::string files_here() {
  std::map<std::string, std::string> files;
  for (const auto &e : std::filesystem::directory_iterator("."))
    files[e.path().filename().string()] = read_file(e.path().string());
  std::string out;
  for (const auto &[name, text] : files) out += name + "=" + text + ";";
  return out;
}

TEST(FileTrace, DefaultFilesTakeTheTextUnchangedAndFlushedAtOnce) {
  in_temp_dir([] {
    Filetrace("a%d\r\n", 1);
    // Flushed: on disk while the stream stays open.
    EXPECT_EQ(read_file("KoDebugLog.txt"), "a1\r\n");
    Filetrace("bc");
    NFiletrace(-1, "|shared");
    FiletracePath("late.txt");  // slot 0 is open: ignored
    Filetrace("%s", "!");

    NFiletrace(0, "zero %s", "one");
    NFiletrace(9, "nine");
    NFiletrace(10, "no");
    NFiletrace(-2, "no");

    std::string big(2000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    NFiletrace(4, "%s", big.c_str());
    EXPECT_EQ(files_here(), "KoDebugLog.txt=a1\r\nbc|shared!;KoDebugLog[10].txt=nine;"
                            "KoDebugLog[1].txt=zero one;KoDebugLog[5].txt=" +
                                big.substr(0, 1023) + ";");
  });
}

TEST(FileTrace, PathsSetBeforeTheFirstWriteAreUsed) {
  in_temp_dir([] {
    FiletracePath("main.log");
    NFiletracePath(3, "three.log");
    NFiletracePath(-1, "ignored.log");  // slot 0 already open
    NFiletracePath(10, "ignored.log");
    NFiletracePath(-2, "ignored.log");
    // Opened with "wb": the files exist and are empty before any write.
    EXPECT_EQ(files_here(), "main.log=;three.log=;");
    Filetrace("m");
    NFiletrace(-1, "n");
    NFiletrace(3, "t");
    NFiletracePath(3, "again.log");
    NFiletrace(3, "u");
    EXPECT_EQ(files_here(), "main.log=mn;three.log=tu;");
  });
}

// The sfio table, counting the calls that reach it.
int g_opens, g_writes, g_flushes;
uint32_t g_bytes;
const SfioOpenFunc g_real_open = sfio_open;
const SfioWriteFunc g_real_write = sfio_write;
const SfioFlushFunc g_real_flush = sfio_flush;

// "opens/writes/flushes/bytes" counted so far.
std::string counts() {
  return std::to_string(g_opens) + "/" + std::to_string(g_writes) + "/" +
         std::to_string(g_flushes) + "/" + std::to_string(g_bytes);
}

TEST(FileTrace, GoesThroughTheSfioTable) {
  in_temp_dir([] {
    sfio_set_fwrite([](const void *buffer, uint32_t size, uint32_t n, void *stream) {
      ++g_writes;
      g_bytes += size * n;
      return g_real_write(buffer, size, n, stream);
    });
    sfio_set_fflush([](void *stream) { ++g_flushes; return g_real_flush(stream); });
    sfio_set_fopen([](const char *, const char *) -> void * { ++g_opens; return nullptr; });
    // Off: nothing happens, and paths given then are not kept.  On: a failed
    // open drops the text and only the numbered form names the file, unless
    // the level test fails.
    ASSERT_EQ(GetDebugState(), 0);
    CaptureStdout();
    FiletracePath("custom.txt");
    NFiletracePath(2, "custom2.txt");
    Filetrace("a");
    NFiletrace(0, "b");
    EXPECT_EQ(counts(), "0/0/0/0");
    SetDebugSwitch(1);
    // Null paths and formats open nothing, even with the switch on.
    void (*unchecked_filetrace)(const char *, ...) = Filetrace;
    void (*unchecked_nfiletrace)(int32_t, const char *, ...) = NFiletrace;
    FiletracePath(nullptr);
    NFiletracePath(0, nullptr);
    unchecked_filetrace(nullptr);
    unchecked_nfiletrace(0, nullptr);
    EXPECT_EQ(counts(), "0/0/0/0");
    Filetrace("lost");
    NFiletrace(2, "lost");
    NFiletrace(2, "lost again");
    SetDebugLevel(1);
    NFiletrace(2, "lost");
    SetDebugLevel(0);
    EXPECT_EQ(GetCapturedStdout(), "KoDebugLog[3].txtKoDebugLog[3].txt");
    EXPECT_EQ(counts(), "4/0/0/0");  // the open is retried at every call
    EXPECT_EQ(files_here(), "");

    // Numbered slot 0 has its own default name.
    sfio_set_fopen([](const char *p, const char *mode) { ++g_opens; return g_real_open(p, mode); });
    NFiletrace(-1, "hel");
    Filetrace("lo");
    NFiletrace(2, "%d", 12345);
    EXPECT_EQ(counts(), "6/3/3/10");
    EXPECT_EQ(files_here(), "KoDebugLog[0].txt=hello;KoDebugLog[3].txt=12345;");
  }, false);
}

// A table that fails on cue: write call i takes action i of the write plan
// ('o' takes all, 'h' the first half, rounded up, '0' nothing), flush call
// i action i of the flush plan ('o' flushes, 'x' fails without flushing);
// calls past the end of a plan succeed.
std::string g_write_plan, g_flush_plan;
size_t g_write_call, g_flush_call;

char next_action(const std::string &plan, size_t &call) {
  const size_t i = call++;
  return i < plan.size() ? plan[i] : 'o';
}

uint32_t planned_write(const void *buffer, uint32_t size, uint32_t n, void *stream) {
  switch (next_action(g_write_plan, g_write_call)) {
    case '0':
      return 0;
    case 'h':
      return g_real_write(buffer, size, (n + 1) / 2, stream);
    case '+':
      return g_real_write(buffer, size, n, stream) + 1;
    default:
      return g_real_write(buffer, size, n, stream);
  }
}

int32_t planned_flush(void *stream) {
  return next_action(g_flush_plan, g_flush_call) == 'x' ? -1 : g_real_flush(stream);
}

TEST(FileTrace, FailingWritesAndFlushesLoseOnlyWhatWasRefused) {
  struct Case {
    const char *writes, *flushes;
    const char *after_first;  // on disk after the first message
    const char *file;         // after all three
    size_t write_calls;
  } const cases[] = {
      {"", "", "one|", "one|two|three|", 3},
      {"hhh", "", "one|", "one|two|three|", 5},  // 4 bytes: 2 + 1 + 1
      {"o0", "", "one|", "one|three|", 3},
      {"oh0", "", "one|", "one|twthree|", 4},
      {"0", "", "", "two|three|", 3},
      {"+", "", "one|", "one|two|three|", 3},  // claiming more than offered ends the message
      {"", "xx", "", "one|two|three|", 3},  // held in the stream until a flush works
  };
  for (const Case &c : cases) {
    in_temp_dir([&] {
      g_write_plan = c.writes;
      g_flush_plan = c.flushes;
      sfio_set_fwrite(planned_write);
      sfio_set_fflush(planned_flush);
      Filetrace("one|");
      EXPECT_EQ(read_file("KoDebugLog.txt"), c.after_first);
      Filetrace("two|");
      Filetrace("%s|", "three");
      EXPECT_EQ(files_here(), std::string("KoDebugLog.txt=") + c.file + ";");
      EXPECT_EQ(g_write_call, c.write_calls);
      EXPECT_EQ(g_flush_call, 3u);
    });
  }
}

}  // namespace
