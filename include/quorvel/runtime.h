/*
 * Portability runtime: clocks and UTM time, the sfio file layer, commands, strings, math, JSON and INI.
 */
#ifndef QUORVEL_RUNTIME_H
#define QUORVEL_RUNTIME_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

/* ---- Clocks and UTM time ------------------------------------------------ */

/* Utm is a broken-down calendar time: the nine fields of the C library's
   struct tm in their standard order, then the zone offset and zone name. */
typedef struct Utm {
  int32_t tm_sec;   /* 0-59 */
  int32_t tm_min;   /* 0-59 */
  int32_t tm_hour;  /* 0-23 */
  int32_t tm_mday;  /* 1-31 */
  int32_t tm_mon;   /* 0-11, 0 = January */
  int32_t tm_year;  /* years since 1900 */
  int32_t tm_wday;  /* 0-6, 0 = Sunday */
  int32_t tm_yday;  /* 0-365 */
  int32_t tm_isdst; /* written as 0; read but without effect */
  int32_t tm_gmtoff; /* written as 0 */
  const char *tm_zone; /* "GMT" or "UTC" */
} Utm;

/* TimeDist is a stop-watch record; the seven reserved words are the
   caller's and are never read or written by the library. */
typedef struct TimeDist {
  uint32_t marker;     /* 1219 once StartTimeDist has run */
  uint32_t reserved[7];
  uint32_t start_tick; /* tick count in ms taken by StartTimeDist */
} TimeDist;

/* TimeB is the wall-clock record that ftimeB fills. */
typedef struct TimeB {
  int64_t time;          /* seconds since 1970-01-01 00:00:00 UTC */
  uint16_t millitm;      /* 0-999 */
  int16_t timezone;      /* left as it was */
  int16_t dstflag;       /* left as it was */
  int64_t seconds;       /* the same value as time */
  int32_t microseconds;  /* millitm * 1000 */
} TimeB;

/* GetClockTimeStamp returns milliseconds since the system started; it wraps
   after 2^32 ms.  Thread-safe. */
QRVL_API uint32_t GetClockTimeStamp(void);
/* ftimeB fills time, millitm, seconds and microseconds of tb from the wall
   clock; the zone fields are left as they were.  Thread-safe. */
QRVL_API void ftimeB(TimeB *tb);
/* GetCurrentMTime stores the wall clock's seconds since 1970 (UTC) and
   milliseconds; either pointer may be NULL.  Thread-safe. */
QRVL_API void GetCurrentMTime(int64_t *seconds, uint16_t *milliseconds);
/* StartTimeDist arms the stop-watch td with the current tick count. */
QRVL_API void StartTimeDist(TimeDist *td);
/* FinishTimeDist returns the milliseconds since StartTimeDist, or 0 for an
   unarmed record or a wrapped tick counter.  td is not changed. */
QRVL_API uint64_t FinishTimeDist(TimeDist *td);
/* SetUtmZone sets the process-wide zone name index (0 "GMT", 1 "UTC"; any
   other index names "UTC") and the seconds offset that MakeUnixTime adds.
   Not synchronised: other threads see the change at some later call. */
QRVL_API void SetUtmZone(int32_t zone_index, int32_t seconds_offset);
/* GetUtm breaks seconds since 1970 down as UTC into tm and returns tm.
   Thread-safe. */
QRVL_API Utm *GetUtm(uint32_t seconds, Utm *tm);
/* GetLocalUtm breaks seconds down with the local zone's whole-hour
   standard offset (no daylight saving time; UTC+5:30 counts as +5) and
   returns tm.  The arithmetic is unsigned 32-bit, so a local time before
   1970 wraps to 2106.  Thread-safe. */
QRVL_API Utm *GetLocalUtm(uint32_t seconds, Utm *tm);
/* GetUtmStr writes tm as "YYYY-MM-DD-hh-mm-ss" into buffer (20 bytes at
   least) and returns buffer.  Each value is zero-padded to its width after
   any '-'; wider values are written in full (72 bytes hold any record).
   Thread-safe. */
QRVL_API char *GetUtmStr(const Utm *tm, char *buffer);
/* MakeUnixTime normalises tm in place and returns its seconds since 1970
   plus the zone's seconds offset, or -1 before 1970 or past 2^31 - 1. */
QRVL_API int32_t MakeUnixTime(Utm *tm);
/* is_memory_inverse returns 1 on a big-endian host, 0 otherwise. */
QRVL_API uint8_t is_memory_inverse(void);

/* ---- sfio file layer ---------------------------------------------------- */

/* The file layer is a table of replaceable functions that the library
   exports as variables: callers (and the trace files) call through them,
   for example sfio_open("log.txt", "wb").  The stream handle is whatever
   the installed open function returns; the layer never looks into it.  The
   defaults pass their arguments to fopen, fclose, fread, fwrite, fflush,
   fseek, ftell, rewind and feof unchanged and return their results.  The
   variables are plain globals: install replacements once, before other
   threads use the layer. */

/* SfioOpenFunc opens path with the stdio mode text; NULL on failure. */
typedef void *(*SfioOpenFunc)(const char *path, const char *mode);
/* SfioCloseFunc closes stream; 0 on success. */
typedef int32_t (*SfioCloseFunc)(void *stream);
/* SfioReadFunc reads up to count elements of size bytes into buffer and
   returns the number of whole elements read. */
typedef uint32_t (*SfioReadFunc)(void *buffer, uint32_t size, uint32_t count, void *stream);
/* SfioWriteFunc writes count elements of size bytes from buffer and returns
   the number of whole elements written. */
typedef uint32_t (*SfioWriteFunc)(const void *buffer, uint32_t size, uint32_t count,
                                  void *stream);
/* SfioFlushFunc pushes buffered output of stream out; 0 on success. */
typedef int32_t (*SfioFlushFunc)(void *stream);
/* SfioSeekFunc moves the position of stream to offset from origin (one of
   the SFIO_SEEK_ codes); 0 on success. */
typedef int32_t (*SfioSeekFunc)(void *stream, int32_t offset, int32_t origin);
/* SfioTellFunc returns the position of stream, or -1 on failure. */
typedef int32_t (*SfioTellFunc)(void *stream);
/* SfioRewindFunc moves stream back to its start and clears its error. */
typedef void (*SfioRewindFunc)(void *stream);
/* SfioEofFunc returns non-zero once stream has reached its end. */
typedef int32_t (*SfioEofFunc)(void *stream);

/* sfio_open opens a stream (default: fopen). */
QRVL_API extern SfioOpenFunc sfio_open;
/* sfio_close closes a stream (default: fclose). */
QRVL_API extern SfioCloseFunc sfio_close;
/* sfio_read reads elements (default: fread). */
QRVL_API extern SfioReadFunc sfio_read;
/* sfio_write writes elements (default: fwrite). */
QRVL_API extern SfioWriteFunc sfio_write;
/* sfio_flush flushes a stream (default: fflush). */
QRVL_API extern SfioFlushFunc sfio_flush;
/* sfio_seek moves the position (default: fseek).  Positions past
   2147483647 cannot be reached through its 32-bit offset. */
QRVL_API extern SfioSeekFunc sfio_seek;
/* sfio_tell reports the position (default: ftell; a position past
   2147483647 does not fit and is reported as -1). */
QRVL_API extern SfioTellFunc sfio_tell;
/* sfio_rewind rewinds a stream (default: rewind). */
QRVL_API extern SfioRewindFunc sfio_rewind;
/* sfio_eof tests for the end of a stream (default: feof). */
QRVL_API extern SfioEofFunc sfio_eof;

/* SFIO_SEEK_SET is the origin code "from the start" (default 0, SEEK_SET). */
QRVL_API extern int32_t SFIO_SEEK_SET;
/* SFIO_SEEK_CUR is the origin code "from the current position" (default 1,
   SEEK_CUR). */
QRVL_API extern int32_t SFIO_SEEK_CUR;
/* SFIO_SEEK_END is the origin code "from the end" (default 2, SEEK_END). */
QRVL_API extern int32_t SFIO_SEEK_END;

/* sfio_set_origin stores the three origin codes that callers pass to
   sfio_seek; use it together with a replaced sfio_seek whose codes differ.
   Not synchronised. */
QRVL_API void sfio_set_origin(int32_t set, int32_t current, int32_t end);
/* sfio_set_fopen replaces sfio_open.  Every sfio_set_ function stores its
   argument unchecked (NULL too, after which that variable cannot be called)
   and is not synchronised; there is no way back to the defaults except
   saving the old value first. */
QRVL_API void sfio_set_fopen(SfioOpenFunc open_func);
/* sfio_set_fclose replaces sfio_close. */
QRVL_API void sfio_set_fclose(SfioCloseFunc close_func);
/* sfio_set_fread replaces sfio_read. */
QRVL_API void sfio_set_fread(SfioReadFunc read_func);
/* sfio_set_fwrite replaces sfio_write. */
QRVL_API void sfio_set_fwrite(SfioWriteFunc write_func);
/* sfio_set_fflush replaces sfio_flush. */
QRVL_API void sfio_set_fflush(SfioFlushFunc flush_func);
/* sfio_set_fseek replaces sfio_seek. */
QRVL_API void sfio_set_fseek(SfioSeekFunc seek_func);
/* sfio_set_ftell replaces sfio_tell. */
QRVL_API void sfio_set_ftell(SfioTellFunc tell_func);
/* sfio_set_rewind replaces sfio_rewind. */
QRVL_API void sfio_set_rewind(SfioRewindFunc rewind_func);
/* sfio_set_feof replaces sfio_eof. */
QRVL_API void sfio_set_feof(SfioEofFunc eof_func);

QRVL_END_DECLS

#endif /* QUORVEL_RUNTIME_H */
