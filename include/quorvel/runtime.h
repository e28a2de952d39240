/** @file
 * Portability runtime: clocks and UTM time, the sfio file layer, commands, strings, math, JSON and INI.
 */
#ifndef QUORVEL_RUNTIME_H
#define QUORVEL_RUNTIME_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  include <winsock2.h> /* struct timeval */
#endif

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

/* ---- Clocks and UTM time ------------------------------------------------ */

/** @name Clocks and UTM time */
/** @{ */

/** Utm is a broken-down calendar time: the nine fields of the C library's
   struct tm in their standard order, then the zone offset and zone name. */
typedef struct Utm {
  int32_t tm_sec;   /**< 0-59 */
  int32_t tm_min;   /**< 0-59 */
  int32_t tm_hour;  /**< 0-23 */
  int32_t tm_mday;  /**< 1-31 */
  int32_t tm_mon;   /**< 0-11, 0 = January */
  int32_t tm_year;  /**< years since 1900 */
  int32_t tm_wday;  /**< 0-6, 0 = Sunday */
  int32_t tm_yday;  /**< 0-365 */
  int32_t tm_isdst; /**< written as 0; read but without effect */
  int32_t tm_gmtoff; /**< written as 0 */
  const char *tm_zone; /**< "GMT" or "UTC" */
} Utm;

/** TimeDist is a stop-watch record; the seven reserved words are the
   caller's and are never read or written by the library. */
typedef struct TimeDist {
  uint32_t marker;     /**< 1219 once StartTimeDist has run */
  uint32_t reserved[7]; /**< the caller's */
  uint32_t start_tick; /**< tick count in ms taken by StartTimeDist */
} TimeDist;

/** TimeB is the wall-clock record that ftimeB fills. */
typedef struct TimeB {
  int64_t time;          /**< seconds since 1970-01-01 00:00:00 UTC */
  uint16_t millitm;      /**< 0-999 */
  int16_t timezone;      /**< left as it was */
  int16_t dstflag;       /**< left as it was */
  int64_t seconds;       /**< the same value as time */
  int32_t microseconds;  /**< millitm * 1000 */
} TimeB;

/** GetClockTimeStamp returns milliseconds since the system started; it wraps
   after 2^32 ms.  Thread-safe. */
QRVL_API uint32_t GetClockTimeStamp(void);
/** ftimeB fills time, millitm, seconds and microseconds of tb from the wall
   clock; the zone fields are left as they were.  Thread-safe. */
QRVL_API void ftimeB(TimeB *tb);
/** GetCurrentMTime stores the wall clock's seconds since 1970 (UTC) and
   milliseconds; either pointer may be NULL.  Thread-safe. */
QRVL_API void GetCurrentMTime(int64_t *seconds, uint16_t *milliseconds);
#if defined(_WIN32)
/** gettimeofday stores the wall clock in tv: seconds since 1970 (UTC) and
   microseconds (the milliseconds times 1000); zone is ignored; returns 0.
   Exported where the C runtime has no such function (Windows); elsewhere
   the C library's own serves under this name.  Thread-safe. */
QRVL_API int gettimeofday(struct timeval *tv, void *zone);
#endif
/** StartTimeDist arms the stop-watch td with the current tick count.
   One thread at a time per record. */
QRVL_API void StartTimeDist(TimeDist *td);
/** FinishTimeDist returns the milliseconds since StartTimeDist, or 0 for an
   unarmed record or a wrapped tick counter.  td is not changed.
   Thread-safe on distinct records. */
QRVL_API uint64_t FinishTimeDist(TimeDist *td);
/** SetUtmZone sets the process-wide zone name index (0 "GMT", 1 "UTC"; any
   other index names "UTC") and the seconds offset that MakeUnixTime adds.
   Not synchronised: other threads see the change at some later call. */
QRVL_API void SetUtmZone(int32_t zone_index, int32_t seconds_offset);
/** GetUtm breaks seconds since 1970 down as UTC into tm and returns tm.
   Thread-safe. */
QRVL_API Utm *GetUtm(uint32_t seconds, Utm *tm);
/** GetLocalUtm breaks seconds down with the local zone's whole-hour
   standard offset (no daylight saving time; UTC+5:30 counts as +5) and
   returns tm.  The arithmetic is unsigned 32-bit, so a local time before
   1970 wraps to 2106.  Thread-safe. */
QRVL_API Utm *GetLocalUtm(uint32_t seconds, Utm *tm);
/** GetUtmStr writes tm as "YYYY-MM-DD-hh-mm-ss" into buffer (20 bytes at
   least) and returns buffer.  Each value is zero-padded to its width after
   any '-'; wider values are written in full (72 bytes hold any record).
   Thread-safe. */
QRVL_API char *GetUtmStr(const Utm *tm, char *buffer);
/** MakeUnixTime normalises tm in place and returns its seconds since 1970
   plus the zone's seconds offset, or -1 before 1970 or past 2^31 - 1.
   Thread-safe on distinct records. */
QRVL_API int32_t MakeUnixTime(Utm *tm);
/** is_memory_inverse returns 1 on a big-endian host, 0 otherwise.
   Thread-safe. */
QRVL_API uint8_t is_memory_inverse(void);
/** @} */

/* ---- sfio file layer ---------------------------------------------------- */

/** @name sfio file layer
   The file layer is a table of replaceable functions that the library
   exports as variables: callers (and the trace files) call through them,
   for example sfio_open("log.txt", "wb").  The stream handle is whatever
   the installed open function returns; the layer never looks into it.  The
   defaults pass their arguments to fopen, fclose, fread, fwrite, fflush,
   fseek, ftell, rewind and feof unchanged and return their results.  The
   variables are plain globals: install replacements once, before other
   threads use the layer. */
/** @{ */

/** SfioOpenFunc opens path with the stdio mode text; NULL on failure. */
typedef void *(*SfioOpenFunc)(const char *path, const char *mode);
/** SfioCloseFunc closes stream; 0 on success. */
typedef int32_t (*SfioCloseFunc)(void *stream);
/** SfioReadFunc reads up to count elements of size bytes into buffer and
   returns the number of whole elements read. */
typedef uint32_t (*SfioReadFunc)(void *buffer, uint32_t size, uint32_t count, void *stream);
/** SfioWriteFunc writes count elements of size bytes from buffer and returns
   the number of whole elements written. */
typedef uint32_t (*SfioWriteFunc)(const void *buffer, uint32_t size, uint32_t count,
                                  void *stream);
/** SfioFlushFunc pushes buffered output of stream out; 0 on success. */
typedef int32_t (*SfioFlushFunc)(void *stream);
/** SfioSeekFunc moves the position of stream to offset from origin (one of
   the SFIO_SEEK_ codes); 0 on success. */
typedef int32_t (*SfioSeekFunc)(void *stream, int32_t offset, int32_t origin);
/** SfioTellFunc returns the position of stream, or -1 on failure. */
typedef int32_t (*SfioTellFunc)(void *stream);
/** SfioRewindFunc moves stream back to its start and clears its error. */
typedef void (*SfioRewindFunc)(void *stream);
/** SfioEofFunc returns non-zero once stream has reached its end. */
typedef int32_t (*SfioEofFunc)(void *stream);

/** sfio_open opens a stream (default: fopen). */
QRVL_API extern SfioOpenFunc sfio_open;
/** sfio_close closes a stream (default: fclose). */
QRVL_API extern SfioCloseFunc sfio_close;
/** sfio_read reads elements (default: fread). */
QRVL_API extern SfioReadFunc sfio_read;
/** sfio_write writes elements (default: fwrite). */
QRVL_API extern SfioWriteFunc sfio_write;
/** sfio_flush flushes a stream (default: fflush). */
QRVL_API extern SfioFlushFunc sfio_flush;
/** sfio_seek moves the position (default: fseek).  Positions past
   2147483647 cannot be reached through its 32-bit offset. */
QRVL_API extern SfioSeekFunc sfio_seek;
/** sfio_tell reports the position (default: ftell; a position past
   2147483647 does not fit and is reported as -1). */
QRVL_API extern SfioTellFunc sfio_tell;
/** sfio_rewind rewinds a stream (default: rewind). */
QRVL_API extern SfioRewindFunc sfio_rewind;
/** sfio_eof tests for the end of a stream (default: feof). */
QRVL_API extern SfioEofFunc sfio_eof;

/** SFIO_SEEK_SET is the origin code "from the start" (default 0, SEEK_SET). */
QRVL_API extern int32_t SFIO_SEEK_SET;
/** SFIO_SEEK_CUR is the origin code "from the current position" (default 1,
   SEEK_CUR). */
QRVL_API extern int32_t SFIO_SEEK_CUR;
/** SFIO_SEEK_END is the origin code "from the end" (default 2, SEEK_END). */
QRVL_API extern int32_t SFIO_SEEK_END;

/** sfio_set_origin stores the three origin codes that callers pass to
   sfio_seek; use it together with a replaced sfio_seek whose codes differ.
   Not synchronised. */
QRVL_API void sfio_set_origin(int32_t set, int32_t current, int32_t end);
/** sfio_set_fopen replaces sfio_open.  Every sfio_set_ function stores its
   argument unchecked (NULL too, after which that variable cannot be called)
   and is not synchronised; there is no way back to the defaults except
   saving the old value first. */
QRVL_API void sfio_set_fopen(SfioOpenFunc open_func);
/** sfio_set_fclose replaces sfio_close.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_fclose(SfioCloseFunc close_func);
/** sfio_set_fread replaces sfio_read.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_fread(SfioReadFunc read_func);
/** sfio_set_fwrite replaces sfio_write.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_fwrite(SfioWriteFunc write_func);
/** sfio_set_fflush replaces sfio_flush.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_fflush(SfioFlushFunc flush_func);
/** sfio_set_fseek replaces sfio_seek.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_fseek(SfioSeekFunc seek_func);
/** sfio_set_ftell replaces sfio_tell.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_ftell(SfioTellFunc tell_func);
/** sfio_set_rewind replaces sfio_rewind.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_rewind(SfioRewindFunc rewind_func);
/** sfio_set_feof replaces sfio_eof.
   Not synchronised: install it before other threads use the layer. */
QRVL_API void sfio_set_feof(SfioEofFunc eof_func);
/** @} */

/* ---- Commands and fields ------------------------------------------------ */

/** @name Commands and fields */
/** @{ */

/** CmdPipe is the handle of a running command whose output the caller reads;
   it is the library's from cmd_popen to cmd_pclose. */
typedef struct CmdPipe CmdPipe;

/** Ncommand copies the fields of src, split at sep, into rows rows of width
   bytes each (the table is zero-filled first; characters beyond width - 1
   are dropped so that each row stays zero-terminated; once rows rows are
   started the rest of src is ignored).  Empty fields count, a trailing sep
   included.  Returns the number of rows started, 1 for an empty src; 0
   (and nothing written) when src or table is NULL or rows or width is
   below 1.  Thread-safe on distinct tables. */
QRVL_API int32_t Ncommand(const char *src, char *table, char sep, int32_t rows, int32_t width);
/** NCommandCutter splits text in place at sep, replacing each separator it
   passes with a zero byte, and stores the start of each field in fields.
   All max entries are first set to one shared empty text; a separator at
   the very end adds no field; when max fields are stored the last one
   keeps the unsplit rest.  Returns the number of fields stored: 0 for a
   NULL or empty text and, with nothing written, for max below 1 or NULL
   fields.  Thread-safe on distinct texts. */
QRVL_API int32_t NCommandCutter(char *text, char sep, char **fields, int32_t max);
/** NCommandRecover puts sep back into the first n zero bytes from the start
   of text (nothing for n below 1 or a NULL text).  The walk goes on past
   the end of the text: n must not exceed the number of separators that
   NCommandCutter replaced.  Thread-safe on distinct texts. */
QRVL_API void NCommandRecover(char *text, char sep, int32_t n);

/** cmd_popen starts command as a new process and returns a handle to read
   its standard output and standard error, which go to one pipe; standard
   input, the environment and the working directory are the caller's.  No
   shell runs: the line is split into the program and its arguments as a
   POSIX shell splits words, with nothing expanded -- blanks separate words;
   '...' keeps everything up to the next single quote; "..." keeps
   everything up to the closing quote, where a backslash before $ ` " or a
   backslash stands for that character and one before a line feed removes
   both; outside quotes a backslash keeps the next character (a final one
   stays); adjacent parts join into one word; $ ` * ? [ ~ # | ; & < > ( )
   are ordinary characters.  The program is searched for in PATH.  Returns
   NULL when command is NULL, holds no word or an unclosed quote, memory is
   short, or the pipe or the process cannot be made.  Thread-safe. */
QRVL_API CmdPipe *cmd_popen(const char *command);
/** cmd_fgets reads the command's output one byte at a time into buf, up to
   size - 1 bytes, zero-terminated after each byte, stopping after a line
   feed (which stays).  Returns buf, unchanged and without reading when
   size is below 2; NULL when pipe is NULL or a read fails, the end of the
   output included, even when part of a line was stored.  One thread per
   handle. */
QRVL_API char *cmd_fgets(char *buf, int32_t size, CmdPipe *pipe);
/** cmd_pclose closes the caller's end of the pipe and gives the handle back;
   it does not wait for the command, which goes on if it has not ended (and
   is stopped by SIGPIPE if it writes again).  The library collects the
   ended process itself, so no zombie is left, and it never waits for a
   child it did not start: a command that is still running is handed to a
   background thread of the library's, started by the first such
   cmd_pclose, which waits for it (should that thread fail to start, an
   ended command is collected by a later cmd_popen or cmd_pclose instead).
   Always returns -1; NULL is ignored.
   Thread-safe. */
QRVL_API int32_t cmd_pclose(CmdPipe *pipe);
/** _WIN_getcpunum returns the number of logical processors online, at
   least 1.  Thread-safe. */
QRVL_API int32_t _WIN_getcpunum(void);
/** @} */

/* ---- patch_ string and memory routines --------------------------------- */

/** @name patch_ string and memory routines
   The patch_ routines give the results of their standard namesakes (the
   name without patch_) the same on every platform: they work on unsigned
   bytes, fold case without a locale, allocate nothing and keep no state
   (patch_strtok excepted).  Apart from patch_strstr none accepts NULL.
   All are safe from several threads on separate data, except
   patch_strtok. */
/** @{ */

/** patch_strlen returns the number of bytes of s before its zero byte.
   Thread-safe on separate data. */
QRVL_API int32_t patch_strlen(const char *s);
/** patch_strcspn returns the length of the leading part of s that holds no
   byte of reject (patch_strlen(s) for an empty reject).
   Thread-safe on separate data. */
QRVL_API int32_t patch_strcspn(const char *s, const char *reject);
/** patch_strchr returns the first position of the byte c (taken as unsigned
   8-bit) in s, the terminating zero for c = 0, or NULL.
   Thread-safe on separate data. */
QRVL_API char *patch_strchr(const char *s, int32_t c);
/** patch_strstr returns the first occurrence of needle in haystack:
   haystack itself for an empty needle, NULL when either is NULL or when
   needle does not occur.  Thread-safe on separate data. */
QRVL_API char *patch_strstr(const char *haystack, const char *needle);
/** patch_strcat appends src and its zero byte to dst and returns dst.
   Thread-safe on separate data. */
QRVL_API char *patch_strcat(char *dst, const char *src);
/** patch_strcpy copies src and its zero byte to dst and returns dst.
   Thread-safe on separate data. */
QRVL_API char *patch_strcpy(char *dst, const char *src);
/** patch_strncpy copies at most n bytes of src to dst, fills the rest of
   the n bytes with zeros when src is shorter, leaves dst unterminated when
   src has n bytes or more, and returns dst.  Thread-safe on separate data. */
QRVL_API char *patch_strncpy(char *dst, const char *src, size_t n);
/** patch_strcmp returns exactly -1, 0 or 1 as a is below, equal to or
   above b, comparing unsigned bytes.  Thread-safe on separate data. */
QRVL_API int32_t patch_strcmp(const char *a, const char *b);
/** patch_strncmp is patch_strcmp over at most n bytes (0 for n = 0).
   Thread-safe on separate data. */
QRVL_API int32_t patch_strncmp(const char *a, const char *b, size_t n);
/** patch_strcasecmp compares with 'A'-'Z' folded to 'a'-'z' (no other byte
   is folded) and returns 0, or the folded byte of a minus the folded byte
   of b at the first difference (-255..255).  Thread-safe on separate data. */
QRVL_API int32_t patch_strcasecmp(const char *a, const char *b);
/** patch_strncasecmp is patch_strcasecmp over at most n bytes.
   Thread-safe on separate data. */
QRVL_API int32_t patch_strncasecmp(const char *a, const char *b, size_t n);
/** patch_memcmp returns 0 when the n bytes are equal, otherwise the byte of
   a minus the byte of b (unsigned) at the first difference.
   Thread-safe on separate data. */
QRVL_API int32_t patch_memcmp(const void *a, const void *b, size_t n);
/** patch_memcpy copies n bytes one at a time in ascending address order and
   returns dst; a destination starting inside the source repeats its
   leading bytes.  Thread-safe on separate data. */
QRVL_API void *patch_memcpy(void *dst, const void *src, size_t n);
/** patch_memset fills n bytes of dst with the byte c and returns dst.
   Thread-safe on separate data. */
QRVL_API void *patch_memset(void *dst, int32_t c, size_t n);
/** patch_memmove copies n bytes correctly for overlapping regions and
   returns dst.  Thread-safe on separate data. */
QRVL_API void *patch_memmove(void *dst, const void *src, size_t n);
/** patch_strtok returns the next token of s (or, for s NULL, of the text
   left by the previous call) split at any byte of delimiters, writing a
   zero byte over the delimiter that ends it; NULL when no token is left.
   The position is kept once for the whole process, not per thread:
   callers on several threads must take turns. */
QRVL_API char *patch_strtok(char *s, const char *delimiters);
/** @} */

/* ---- omath numeric routines --------------------------------------------- */

/** @name omath numeric routines
   The omath routines are fast, low-accuracy replacements for the math
   library, built from arithmetic and bit operations only, so that they
   give the same results everywhere; none reports errors.  All are
   thread-safe.  Out-of-domain arguments give what the formulas yield. */
/** @{ */

/** omath_sqrt returns an approximate square root of x (float precision; a
   tiny positive value for 0).  Thread-safe. */
QRVL_API float omath_sqrt(double x);
/** omath_pow returns approximately x to the power y: 0 for x = 0, 1 for
   y = 0, exact repeated squaring for whole y, and a fractional y below 1
   taken as 1 / n with n = the integer part of 1 / y (0.4 gives the square
   root).  n is capped at 2147483647.  An infinite or NaN y gives NaN
   instead of recursing without end.  Thread-safe. */
QRVL_API double omath_pow(double x, double y);
/** omath_sin returns an approximate sine of x (radians) from a corrected
   parabola.  Whole turns are removed one at a time, as the formula
   intends, up to 1024 turns from 0; beyond that they are removed in one
   step first (a faster, more accurate route to the same place); past 2^62
   turns a double carries no phase and, like an infinite or NaN argument,
   gives NaN.  Thread-safe. */
QRVL_API double omath_sin(double x);
/** omath_cos returns omath_sin(x + 1.57079632679489).  Thread-safe. */
QRVL_API double omath_cos(double x);
/** omath_tan returns the sine over the cosine of x, the cosine taken as
   1e-7 where it is exactly 0.  Thread-safe. */
QRVL_API double omath_tan(double x);
/** omath_asin returns an approximate arc sine of x in -1..1 (radians).
   Thread-safe. */
QRVL_API double omath_asin(double x);
/** omath_acos returns an approximate arc cosine of x in -1..1 (radians).
   Thread-safe. */
QRVL_API double omath_acos(double x);
/** omath_atan2 returns an approximate angle of the point (x, y) in -pi..pi;
   (0, 0) gives NaN.  Thread-safe. */
QRVL_API double omath_atan2(double y, double x);
/** omath_atan returns an approximate arc tangent of x (radians).
   Thread-safe. */
QRVL_API double omath_atan(double x);
/** omath_gcd returns the greatest common divisor of a and b, or 0 unless
   both are at least 1.  Thread-safe. */
QRVL_API int32_t omath_gcd(int32_t a, int32_t b);
/** omath_lcm returns a * b / omath_gcd(a, b), or 0 unless both are at
   least 1.  The product is taken modulo 2^32 and read as signed before the
   division, so an lcm past 2147483647 gives a wrong but defined value.
   Thread-safe. */
QRVL_API int32_t omath_lcm(int32_t a, int32_t b);
/** @} */

/* ---- Console helpers ---------------------------------------------------- */

/** @name Console helpers */
/** @{ */

/** TryScanfState is the record of the non-blocking console reader. */
typedef struct TryScanfState {
  uint32_t length;    /**< 0 */
  char text[101];     /**< all 0 */
  uint8_t text_end;   /**< 0 */
  uint8_t flag;       /**< 1 */
  uint32_t counter1;  /**< 0 */
  uint32_t counter2;  /**< 0 */
  uint32_t parameter; /**< 10, or the value given to TryScanfInit2 */
} TryScanfState;

/** TrySleepState is the pacing counter of TrySleep. */
typedef struct TrySleepState {
  uint8_t restart;  /**< 1: the next call starts a new wait */
  uint32_t last;    /**< time given at the previous call */
  uint32_t elapsed; /**< time units since the wait started */
  uint32_t unit;    /**< factor from time units to wait units; shortest wait */
} TrySleepState;

/** TryScanfInit sets state to its initial values with parameter 10.
   One thread at a time per record. */
QRVL_API void TryScanfInit(TryScanfState *state);
/** TryScanfInit2 sets state to its initial values with the given
   parameter.  One thread at a time per record. */
QRVL_API void TryScanfInit2(TryScanfState *state, uint32_t parameter);
/** TryScanf reads nothing and returns 0 on Linux, whatever its argument
   (console input is not polled here; the record keeps one code path for
   callers across platforms).  It is the same function as
   SetSocketNoSIGPIPE.  Thread-safe. */
QRVL_API int32_t TryScanf(TryScanfState *state);
/** TrySleepInit readies state with the given unit: restart 1, last and
   elapsed 0.  One thread at a time per state. */
QRVL_API void TrySleepInit(TrySleepState *state, uint32_t unit);
/** TrySleep returns how much of wait is still left at the time now (in the
   caller's units, which unit converts to those of wait), or 0 when the
   wait is over or wait is 0; the call after a 0 starts a new wait.  A wait
   not above unit becomes unit.  A counter that wrapped below the last time
   counts one unit less.  Not synchronised: one state per loop. */
QRVL_API uint32_t TrySleep(TrySleepState *state, uint32_t now, uint32_t wait);
/** @} */

/* ---- JSON builder ---------------------------------------------------- */

/** @name JSON builder
   A CJSON is one JSON object or array described by a table of typed
   elements; CJSON_CreateString writes it out.  Keys, texts and nested
   records are referenced, not copied: they must stay valid until the last
   CJSON_CreateString.  Keys and texts are written as they are, between
   quotes and without escaping: a quote, backslash or control character in
   them yields text that is not valid JSON.  A record may be read by several
   threads at once; changing it needs the caller's own lock. */
/** @{ */

/* Element type codes; any other code marks a slot as empty. */
#define CJSON_TYPE_STRING 1u   /**< "text"; a NULL text is written as "" */
#define CJSON_TYPE_ARRAY 2u    /**< the nested CJSON written as an array */
#define CJSON_TYPE_BOOLEAN 3u  /**< true when value is not 0, else false */
#define CJSON_TYPE_UNSIGNED 4u /**< value as an unsigned decimal */
#define CJSON_TYPE_SIGNED 5u   /**< value as a signed 32-bit decimal */
#define CJSON_TYPE_OBJECT 6u   /**< the nested CJSON written as an object */

/** CJSON_MAX_DEPTH is the most nesting levels CJSON_CreateString follows,
   the top level counting as the first: a nested CJSON deeper than this is
   written as nothing at all, as if it were NULL.  The bound keeps a record that contains itself
   from recursing without end, and it holds both when writing and when
   measuring, so that both give the same count. */
#define CJSON_MAX_DEPTH 256u

/** CJSON_Element is one slot of an element table. */
typedef struct CJSON_Element {
  const char *key;     /**< member name; NULL or "" inside arrays */
  uint32_t type;       /**< a CJSON_TYPE_ code; 0 marks an empty slot */
  uint32_t value;      /**< number or boolean (types 3, 4 and 5) */
  const void *pointer; /**< the text (type 1) or nested CJSON (types 2, 6) */
} CJSON_Element;

/** CJSON is one object or array. */
typedef struct CJSON {
  uint8_t flags;            /**< bit 0: CJSON_Init2 allocated the table */
  uint32_t count;           /**< elements added by the CJSON_AddElement calls */
  uint32_t capacity;        /**< slots in the table */
  CJSON_Element *elements;  /**< the table, or NULL */
} CJSON;

/** CJSON_Init zero-fills capacity slots of table (when table is not NULL)
   and json, then gives json the table and capacity; with a NULL table or a
   capacity of 0 json is left without a table.  The table stays the
   caller's.  A NULL json is ignored (the table is still cleared).
   Not synchronised: changing a record needs the caller's lock. */
QRVL_API void CJSON_Init(CJSON *json, CJSON_Element *table, uint32_t capacity);
/** CJSON_Init2 zero-fills json and gives it a zero-filled table of capacity
   slots, allocated by the library and released by CJSON_Free; a capacity
   of 0 leaves json without a table.  Returns 0, or -1 for a NULL json, a
   table of more than 4294967295 bytes or a failed allocation, leaving
   json unchanged then.
   Not synchronised: changing a record needs the caller's lock. */
QRVL_API int32_t CJSON_Init2(CJSON *json, uint32_t capacity);
/** CJSON_Free releases the table if CJSON_Init2 allocated it, then
   zero-fills json; a NULL json is ignored.
   Not synchronised: changing a record needs the caller's lock. */
QRVL_API void CJSON_Free(CJSON *json);
/** CJSON_SetElement1 makes element a string: key, type 1, value 0 and the
   text (referenced, not copied).  A NULL element is ignored.
   Not synchronised: one thread at a time per element. */
QRVL_API void CJSON_SetElement1(CJSON_Element *element, const char *key, const char *text);
/** CJSON_SetElement2 makes element a nested array (is_array not 0, type 2)
   or object (type 6) referring to nested, with value 0.  A NULL element is
   ignored.  Not synchronised: one thread at a time per element. */
QRVL_API void CJSON_SetElement2(CJSON_Element *element, const char *key, const CJSON *nested,
                                uint8_t is_array);
/** CJSON_SetElement3 stores key and type in element; for types 3, 4 and 5
   also value, for any other type value 0; the pointer becomes NULL, so a
   type 1 set here is an empty string.  A NULL element is ignored.
   Not synchronised: one thread at a time per element. */
QRVL_API void CJSON_SetElement3(CJSON_Element *element, const char *key, uint32_t value,
                                uint32_t type);
/** CJSON_AddElement1 sets slot count of json's table as CJSON_SetElement1
   does and counts it.  Nothing happens for a NULL json, a json without a
   table or a full table.
   Not synchronised: changing a record needs the caller's lock. */
QRVL_API void CJSON_AddElement1(CJSON *json, const char *key, const char *text);
/** CJSON_AddElement2 adds a nested array or object as CJSON_SetElement2
   does, under the rules of CJSON_AddElement1.
   Not synchronised: changing a record needs the caller's lock. */
QRVL_API void CJSON_AddElement2(CJSON *json, const char *key, const CJSON *nested,
                                uint8_t is_array);
/** CJSON_AddElement3 adds a boolean, number or other typed slot as
   CJSON_SetElement3 does, under the rules of CJSON_AddElement1.
   Not synchronised: changing a record needs the caller's lock. */
QRVL_API void CJSON_AddElement3(CJSON *json, const char *key, uint32_t value, uint32_t type);
/** CJSON_CreateString writes json into out (size bytes) and returns the
   number of characters written, without the terminating zero that always
   follows them.  All capacity slots are written in slot order, empty slots
   skipped; json is written as an array when no slot has a non-empty key,
   else as an object.  A text that does not fit is cut before the first
   comma, key or value that does not fit, and then has no closing bracket;
   a nested record gets what is left and is cut by the same rule, so one
   left with fewer than 3 bytes writes nothing and the items after it may
   still fit.  With a NULL out nothing is written and the
   result is the count for a buffer of 4294967295 bytes.  Returns 0, with
   nothing written, for a NULL json, a json without a table and a size
   below 3.  Nested records deeper than CJSON_MAX_DEPTH levels are written
   as nothing.  Thread-safe while nobody changes json or its nested records. */
QRVL_API uint32_t CJSON_CreateString(const CJSON *json, char *out, uint32_t size);
/** @} */

/* ---- INI parser -------------------------------------------------------- */

/** @name INI parser
   The parser reads INI text line by line and calls a handler for every
   name/value pair and every continuation line, with no allocation and no
   state beyond the call: calls on different threads are independent.
   Whitespace means space, tab and line feed; a carriage return before the
   line feed is removed from values by explicit rules.  Lines are handed
   out in pieces of at most 999 characters; a longer line is parsed as
   several lines, each counted. */
/** @{ */

/** ini_line_reader writes the next line, with its line feed if it has one,
   as a NUL-terminated text of at most size - 1 characters into buffer and
   returns buffer (any non-NULL pointer); NULL when no line is left.  The
   parser passes a size of 1000. */
typedef char *(*ini_line_reader)(char *buffer, int32_t size, void *stream);
/** ini_pair_handler receives one pair: the current section ("" before the
   first section line), the name, the value and the line number (from 1).
   The texts live in the parser's buffers and only during the call.
   Returns 100 to end the parse at once, 0 to report this line as an error,
   anything else to accept it. */
typedef int32_t (*ini_pair_handler)(void *user, const char *section, const char *name,
                                    const char *value, int32_t lineno);

/** ini_string_cursor is the reading position of ini_parse_string. */
typedef struct ini_string_cursor {
  const char *next; /**< the next character to hand out */
  uint32_t left;    /**< characters still to hand out */
} ini_string_cursor;

/** ini_parse_stream parses the lines that reader returns from stream and
   calls handler with user for each pair; stream and user are passed
   through.  Section lines are "[name]"; a pair is "name = value" or
   "name : value"; lines starting with ';' or '#' are comments, and a ';'
   after whitespace starts an inline comment; an indented line after a pair
   continues it (the handler gets the pair's name again, cut to 49
   characters, as are section names).  A UTF-8 byte order mark is skipped
   on line 1.  Returns 0 when every line was well-formed and accepted, else
   the number of the first line that was malformed or that the handler
   rejected; parsing goes on past such lines.  When the handler returns 100
   the parse ends and returns the error line found so far (0 if none).  A
   NULL reader or handler parses nothing and returns 0.
   Thread-safe: calls on different threads are independent. */
QRVL_API int32_t ini_parse_stream(ini_line_reader reader, void *stream, ini_pair_handler handler,
                                  void *user);
/** ini_parse_string parses the NUL-terminated text as ini_parse_stream
   does; a NULL text is an empty one.  Text past the first 4294967295
   characters is not read.
   Thread-safe: calls on different threads are independent. */
QRVL_API int32_t ini_parse_string(const char *text, ini_pair_handler handler, void *user);
/** @} */

QRVL_END_DECLS

#endif /* QUORVEL_RUNTIME_H */
