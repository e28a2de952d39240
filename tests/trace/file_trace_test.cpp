// Trace files.  Their slots stay open for the life of a process, so each
// case runs in a forked child whose working directory is a fresh
// temporary directory.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include "quorvel/runtime.h"
#include "quorvel/trace.h"
#include "trace/child_process.hpp"

namespace {

using qrvl_test::run_in_child;
using qrvl_test::StdoutCapture;

class FileTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/qrvl_filetrace_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  // Runs body in a child working inside the temporary directory.
  template <typename Body>
  void in_child(Body body) {
    const std::string dir = dir_;
    run_in_child([&] {
      ASSERT_EQ(chdir(dir.c_str()), 0);
      body();
    });
  }
  std::string dir_;
};

std::string contents(const std::string &path) {
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr) return "<missing>";
  std::string out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

std::set<std::string> files_here() {
  std::set<std::string> names;
  DIR *d = opendir(".");
  if (d == nullptr) return names;
  while (dirent *e = readdir(d)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  closedir(d);
  return names;
}

int g_opens;
SfioOpenFunc g_real_open;
void *counting_open(const char *path, const char *mode) {
  ++g_opens;
  return g_real_open(path, mode);
}

TEST_F(FileTrace, NothingHappensWhileTheSwitchIsOff) {
  in_child([] {
    g_real_open = sfio_open;
    sfio_set_fopen(counting_open);
    ASSERT_EQ(GetDebugState(), 0);
    StdoutCapture capture;
    FiletracePath("custom.txt");
    NFiletracePath(2, "custom2.txt");
    Filetrace("a");
    NFiletrace(0, "b");
    EXPECT_EQ(capture.stop(), "");
    EXPECT_EQ(g_opens, 0);
    EXPECT_TRUE(files_here().empty());

    // The path given while off was not kept.
    SetDebugSwitch(1);
    Filetrace("x");
    EXPECT_EQ(files_here(), std::set<std::string>{"KoDebugLog.txt"});
  });
}

TEST_F(FileTrace, DefaultFilesTakeTheTextUnchangedAndFlushedAtOnce) {
  in_child([] {
    SetDebugSwitch(1);
    Filetrace("a%d\r\n", 1);
    // Flushed: on disk while the stream stays open.
    EXPECT_EQ(contents("KoDebugLog.txt"), "a1\r\n");
    Filetrace("b");
    Filetrace("c");
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

TEST_F(FileTrace, PathsSetBeforeTheFirstWriteAreUsed) {
  in_child([] {
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

TEST_F(FileTrace, NumberedSlotZeroHasItsOwnDefaultName) {
  in_child([] {
    SetDebugSwitch(1);
    NFiletrace(-1, "first");
    Filetrace(" then");
    EXPECT_EQ(contents("KoDebugLog[0].txt"), "first then");
    EXPECT_EQ(files_here(), std::set<std::string>{"KoDebugLog[0].txt"});
  });
}

int g_writes, g_flushes;
uint32_t g_bytes;
SfioWriteFunc g_real_write;
SfioFlushFunc g_real_flush;
uint32_t counting_write(const void *buffer, uint32_t size, uint32_t count, void *stream) {
  ++g_writes;
  g_bytes += size * count;
  return g_real_write(buffer, size, count, stream);
}
int32_t counting_flush(void *stream) {
  ++g_flushes;
  return g_real_flush(stream);
}
void *failing_open(const char *, const char *) {
  ++g_opens;
  return nullptr;
}

TEST_F(FileTrace, GoesThroughTheSfioTable) {
  in_child([] {
    g_real_open = sfio_open;
    g_real_write = sfio_write;
    g_real_flush = sfio_flush;
    sfio_set_fwrite(counting_write);
    sfio_set_fflush(counting_flush);
    sfio_set_fopen(failing_open);
    SetDebugSwitch(1);

    // A failed open drops the text; only the numbered form names the file.
    StdoutCapture capture;
    Filetrace("lost");
    NFiletrace(2, "lost");
    NFiletrace(2, "lost again");
    EXPECT_EQ(capture.stop(),
              "KoDebugLog[3].txt"
              "KoDebugLog[3].txt");
    EXPECT_EQ(g_opens, 3);  // retried at every call
    EXPECT_EQ(g_writes, 0);
    EXPECT_TRUE(files_here().empty());

    // With the level test failing, the report is not printed either.
    SetDebugLevel(1);
    StdoutCapture quiet;
    NFiletrace(2, "lost");
    EXPECT_EQ(quiet.stop(), "");
    SetDebugLevel(0);

    sfio_set_fopen(counting_open);
    Filetrace("hello");
    NFiletrace(2, "%d", 12345);
    EXPECT_EQ(g_opens, 6);
    EXPECT_EQ(g_writes, 2);
    EXPECT_EQ(g_flushes, 2);
    EXPECT_EQ(g_bytes, 10u);
    EXPECT_EQ(contents("KoDebugLog.txt"), "hello");
    EXPECT_EQ(contents("KoDebugLog[3].txt"), "12345");
  });
}

}  // namespace
