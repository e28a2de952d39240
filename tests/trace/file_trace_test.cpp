// Trace-file slots stay open for the life of a process, so each case runs in
// a forked child working in a fresh temporary directory.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "quorvel/runtime.h"
#include "quorvel/trace.h"
#include "support/child_process.hpp"

namespace {

using qrvl_test::run_in_child;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Runs body in a child working inside a fresh temporary directory.
template <typename Body>
void in_temp_dir(Body body) {
  char dir[] = "/tmp/qrvl_filetrace_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  run_in_child([&] {
    ASSERT_EQ(chdir(dir), 0);
    body();
  });
  EXPECT_GT(std::filesystem::remove_all(dir), 0u);
}

std::string contents(const char *path) {
  FILE *f = fopen(path, "rb");
  if (f == nullptr) return "<missing>";
  std::string out;
  for (int c; (c = fgetc(f)) != EOF;) out += static_cast<char>(c);
  fclose(f);
  return out;
}

std::set<std::string> files_here() {
  std::set<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(".")) names.insert(e.path().filename());
  return names;
}

int g_opens;
SfioOpenFunc g_real_open;
void *counting_open(const char *path, const char *mode) {
  ++g_opens;
  return g_real_open(path, mode);
}

TEST(FileTrace, DefaultFilesTakeTheTextUnchangedAndFlushedAtOnce) {
  in_temp_dir([] {
    SetDebugSwitch(1);
    Filetrace("a%d\r\n", 1);
    // Flushed: on disk while the stream stays open.
    EXPECT_EQ(contents("KoDebugLog.txt"), "a1\r\n");
    Filetrace("bc");
    NFiletrace(-1, "|shared");
    FiletracePath("late.txt");  // slot 0 is open: ignored
    Filetrace("%s", "!");
    EXPECT_EQ(contents("KoDebugLog.txt"), "a1\r\nbc|shared!");

    NFiletrace(0, "zero %s", "one");
    NFiletrace(9, "nine");
    NFiletrace(10, "no");
    NFiletrace(-2, "no");
    EXPECT_EQ(contents("KoDebugLog[1].txt"), "zero one");
    EXPECT_EQ(contents("KoDebugLog[10].txt"), "nine");

    std::string big(2000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    NFiletrace(4, "%s", big.c_str());
    EXPECT_EQ(contents("KoDebugLog[5].txt"), big.substr(0, 1023));

    EXPECT_EQ(files_here(), (std::set<std::string>{"KoDebugLog.txt", "KoDebugLog[1].txt",
                                                   "KoDebugLog[10].txt", "KoDebugLog[5].txt"}));
  });
}

TEST(FileTrace, PathsSetBeforeTheFirstWriteAreUsed) {
  in_temp_dir([] {
    SetDebugSwitch(1);
    FiletracePath("main.log");
    NFiletracePath(3, "three.log");
    NFiletracePath(-1, "ignored.log");  // slot 0 already open
    NFiletracePath(10, "ignored.log");
    NFiletracePath(-2, "ignored.log");
    // Opened with "wb": the files exist and are empty before any write.
    EXPECT_EQ(contents("main.log"), "");
    EXPECT_EQ(contents("three.log"), "");
    Filetrace("m");
    NFiletrace(-1, "n");
    NFiletrace(3, "t");
    NFiletracePath(3, "again.log");
    NFiletrace(3, "u");
    EXPECT_EQ(contents("main.log"), "mn");
    EXPECT_EQ(contents("three.log"), "tu");
    EXPECT_EQ(files_here(), (std::set<std::string>{"main.log", "three.log"}));
  });
}

int g_writes, g_flushes;
uint32_t g_bytes;
SfioWriteFunc g_real_write;
SfioFlushFunc g_real_flush;

// "opens/writes/flushes/bytes" counted so far.
std::string counts() {
  return std::to_string(g_opens) + "/" + std::to_string(g_writes) + "/" +
         std::to_string(g_flushes) + "/" + std::to_string(g_bytes);
}

TEST(FileTrace, GoesThroughTheSfioTable) {
  in_temp_dir([] {
    g_real_open = sfio_open;
    g_real_write = sfio_write;
    g_real_flush = sfio_flush;
    sfio_set_fwrite([](const void *buffer, uint32_t size, uint32_t count, void *stream) {
      ++g_writes;
      g_bytes += size * count;
      return g_real_write(buffer, size, count, stream);
    });
    sfio_set_fflush([](void *stream) {
      ++g_flushes;
      return g_real_flush(stream);
    });
    sfio_set_fopen([](const char *, const char *) -> void * {
      ++g_opens;
      return nullptr;
    });

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
    Filetrace("lost");
    NFiletrace(2, "lost");
    NFiletrace(2, "lost again");
    SetDebugLevel(1);
    NFiletrace(2, "lost");
    SetDebugLevel(0);
    EXPECT_EQ(GetCapturedStdout(), "KoDebugLog[3].txtKoDebugLog[3].txt");
    EXPECT_EQ(counts(), "4/0/0/0");  // the open is retried at every call
    EXPECT_TRUE(files_here().empty());

    // Numbered slot 0 has its own default name.
    sfio_set_fopen(counting_open);
    NFiletrace(-1, "hel");
    Filetrace("lo");
    NFiletrace(2, "%d", 12345);
    EXPECT_EQ(counts(), "6/3/3/10");
    EXPECT_EQ(contents("KoDebugLog[0].txt"), "hello");
    EXPECT_EQ(contents("KoDebugLog[3].txt"), "12345");
    EXPECT_EQ(files_here(), (std::set<std::string>{"KoDebugLog[0].txt", "KoDebugLog[3].txt"}));
  });
}

}  // namespace
