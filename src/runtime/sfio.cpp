// The replaceable file layer: a table of function pointers exported as data,
// starting out on the C library's buffered streams.
#include <climits>
#include <cstdio>

#include "quorvel/runtime.h"
#include "platform/platform.hpp"

namespace {

FILE *as_file(void *stream) {
  return static_cast<FILE *>(stream);
}

void *default_open(const char *path, const char *mode) {
  return fopen(path, mode);
}

int32_t default_close(void *stream) {
  return fclose(as_file(stream));
}

uint32_t default_read(void *buffer, uint32_t size, uint32_t count, void *stream) {
  return static_cast<uint32_t>(fread(buffer, size, count, as_file(stream)));
}

uint32_t default_write(const void *buffer, uint32_t size, uint32_t count, void *stream) {
  return static_cast<uint32_t>(fwrite(buffer, size, count, as_file(stream)));
}

int32_t default_flush(void *stream) {
  return fflush(as_file(stream));
}

int32_t default_seek(void *stream, int32_t offset, int32_t origin) {
  return fseek(as_file(stream), offset, origin);
}

// A position the 32-bit result cannot hold is a failure, not a wrong number.
int32_t default_tell(void *stream) {
  const int64_t position = quorvel::platform::stream_position(stream);
  if (position < 0 || position > INT32_MAX) return -1;
  return static_cast<int32_t>(position);
}

// rewind takes a FILE *, so the table holds a thin forwarder rather than
// rewind itself: calling through a pointer of another type is not allowed.
void default_rewind(void *stream) {
  rewind(as_file(stream));
}

int32_t default_eof(void *stream) {
  return feof(as_file(stream));
}

}  // namespace

extern "C" {

// Constant initial values: the table is valid before any code runs.
SfioOpenFunc sfio_open = default_open;
SfioCloseFunc sfio_close = default_close;
SfioReadFunc sfio_read = default_read;
SfioWriteFunc sfio_write = default_write;
SfioFlushFunc sfio_flush = default_flush;
SfioSeekFunc sfio_seek = default_seek;
SfioTellFunc sfio_tell = default_tell;
SfioRewindFunc sfio_rewind = default_rewind;
SfioEofFunc sfio_eof = default_eof;

int32_t SFIO_SEEK_SET = SEEK_SET;
int32_t SFIO_SEEK_CUR = SEEK_CUR;
int32_t SFIO_SEEK_END = SEEK_END;

void sfio_set_origin(int32_t set, int32_t current, int32_t end) {
  SFIO_SEEK_SET = set;
  SFIO_SEEK_CUR = current;
  SFIO_SEEK_END = end;
}

void sfio_set_fopen(SfioOpenFunc open_func) {
  sfio_open = open_func;
}
void sfio_set_fclose(SfioCloseFunc close_func) {
  sfio_close = close_func;
}
void sfio_set_fread(SfioReadFunc read_func) {
  sfio_read = read_func;
}
void sfio_set_fwrite(SfioWriteFunc write_func) {
  sfio_write = write_func;
}
void sfio_set_fflush(SfioFlushFunc flush_func) {
  sfio_flush = flush_func;
}
void sfio_set_fseek(SfioSeekFunc seek_func) {
  sfio_seek = seek_func;
}
void sfio_set_ftell(SfioTellFunc tell_func) {
  sfio_tell = tell_func;
}
void sfio_set_rewind(SfioRewindFunc rewind_func) {
  sfio_rewind = rewind_func;
}
void sfio_set_feof(SfioEofFunc eof_func) {
  sfio_eof = eof_func;
}

}  // extern "C"
