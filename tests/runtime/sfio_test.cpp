// The default sfio table behaves like the C library's streams; setters change
// what callers reach.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <cstring>

#include "quorvel/runtime.h"
#include "support/child_process.hpp"
#include "support/files.hpp"

namespace {

using qrvl_test::read_file;

TEST(SfioTable, DefaultsWorkLikeTheCLibrary) {
  const qrvl_test::TempDir dir;
  EXPECT_TRUE(SFIO_SEEK_SET == SEEK_SET && SFIO_SEEK_CUR == SEEK_CUR && SFIO_SEEK_END == SEEK_END);

  const std::string p = dir / "a.bin";
  void *w = sfio_open(p.c_str(), "wb");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(sfio_write("abcdefgh", 2, 4, w), 4u);
  EXPECT_EQ(sfio_flush(w), 0);
  // Flushed data is on disk before the stream is closed.
  EXPECT_EQ(read_file(p), "abcdefgh");
  EXPECT_EQ(sfio_tell(w), 8);
  EXPECT_EQ(sfio_close(w), 0);

  void *r = sfio_open(p.c_str(), "rb");
  ASSERT_NE(r, nullptr);
  char buf[16] = {};
  EXPECT_EQ(sfio_seek(r, 3, SFIO_SEEK_SET), 0);
  EXPECT_EQ(sfio_read(buf, 1, 2, r), 2u);
  EXPECT_STREQ(buf, "de");
  EXPECT_EQ(sfio_seek(r, -2, SFIO_SEEK_END), 0);
  EXPECT_EQ(sfio_tell(r), 6);
  EXPECT_EQ(sfio_seek(r, 1, SFIO_SEEK_CUR), 0);
  EXPECT_EQ(sfio_eof(r), 0);
  // Whole elements only: one byte left is not a 2-byte element.
  EXPECT_EQ(sfio_read(buf, 2, 4, r), 0u);
  EXPECT_NE(sfio_eof(r), 0);
  sfio_rewind(r);
  EXPECT_EQ(sfio_eof(r), 0);
  EXPECT_EQ(sfio_tell(r), 0);
  memset(buf, 0, sizeof buf);
  EXPECT_EQ(sfio_read(buf, 4, 4, r), 2u);
  EXPECT_STREQ(buf, "abcdefgh");
  EXPECT_EQ(sfio_close(r), 0);

  EXPECT_EQ(sfio_open((dir / "no/such/dir").c_str(), "rb"), nullptr);
}

TEST(SfioTable, TellFailsWithoutAPositionThatFits) {
  // A pipe has no position.
  int fds[2];
#if defined(_WIN32)
  ASSERT_EQ(_pipe(fds, 256, _O_BINARY), 0);
#else
  ASSERT_EQ(pipe(fds), 0);
#endif
  FILE *r = fdopen(fds[0], "rb");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(sfio_tell(r), -1);
  fclose(r);
  close(fds[1]);

  // 3 or 5 GiB in does not fit the 32-bit result: -1, not a wrapped number
  // (a 32-bit long wraps 5 GiB to a positive one).
  const qrvl_test::TempDir dir;
  void *f = sfio_open((dir / "far.bin").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (long long offset : {3LL << 30, 5LL << 30}) {
    ASSERT_EQ(fseeko64(static_cast<FILE *>(f), offset, SEEK_SET), 0);
    EXPECT_EQ(sfio_tell(f), -1) << offset;
  }
  EXPECT_EQ(sfio_close(f), 0);
}

int g_calls;
int fake_object;
const char g_data[] = "xyz";

// Runs in a child: the replaced table goes with it.
TEST(SfioTable, SettersReplaceWhatCallersReach) {
  const qrvl_test::TempDir dir;
  qrvl_test::run_in_child([&] {
    sfio_set_fopen([](const char *, const char *) -> void * { ++g_calls; return &fake_object; });
    sfio_set_fclose([](void *) { ++g_calls; return int32_t{77}; });
    sfio_set_fread([](void *, uint32_t, uint32_t, void *) { ++g_calls; return uint32_t{5}; });
    sfio_set_fwrite([](const void *buffer, uint32_t size, uint32_t count, void *stream) {
      ++g_calls;
      EXPECT_TRUE(buffer == g_data && size == 1 && count == 3 && stream == &fake_object);
      return count - 1;
    });
    sfio_set_fflush([](void *) { ++g_calls; return int32_t{-9}; });
    sfio_set_fseek([](void *, int32_t offset, int32_t origin) {
      ++g_calls;
      return offset * 100 + origin;
    });
    sfio_set_ftell([](void *) { ++g_calls; return int32_t{1234}; });
    sfio_set_rewind([](void *) { ++g_calls; });
    sfio_set_feof([](void *) { ++g_calls; return int32_t{3}; });

    // The handle of the replaced open is passed through unchanged.
    void *s = sfio_open((dir / "never").c_str(), "wb");
    EXPECT_EQ(s, &fake_object);
    EXPECT_EQ(sfio_write(g_data, 1, 3, s), 2u);
    char buf[4];
    EXPECT_EQ(sfio_read(buf, 1, 4, s), 5u);
    EXPECT_EQ(sfio_flush(s), -9);
    EXPECT_EQ(sfio_seek(s, 7, 2), 702);
    EXPECT_EQ(sfio_tell(s), 1234);
    sfio_rewind(s);
    EXPECT_EQ(sfio_eof(s), 3);
    EXPECT_EQ(sfio_close(s), 77);
    EXPECT_EQ(g_calls, 9);
    EXPECT_EQ(access((dir / "never").c_str(), F_OK), -1);

    sfio_set_origin(10, 11, 12);
    EXPECT_TRUE(SFIO_SEEK_SET == 10 && SFIO_SEEK_CUR == 11 && SFIO_SEEK_END == 12);

    // Stored unchecked.
    sfio_set_fwrite(nullptr);
    EXPECT_EQ(sfio_write, nullptr);
  });
}

}  // namespace
