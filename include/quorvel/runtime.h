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

/* @@SFIO@@ */

QRVL_END_DECLS

#endif /* QUORVEL_RUNTIME_H */
