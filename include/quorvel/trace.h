/** @file
 * Tracing: leveled, tagged trace lines, routes, the debug queue and trace files.
 */
#ifndef QUORVEL_TRACE_H
#define QUORVEL_TRACE_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"
#include "quorvel/runtime.h"

QRVL_BEGIN_DECLS

/* ---- Trace core --------------------------------------------------------- */

/** @name Trace core
   Trace levels: 1 I (info), 2 W (warning), 3 E (error), 4 D (debug),
   5 V (verbose). */
/** @{ */

/** TraceLine carries one trace line from formatting to emitting; it is also
   the head of every debug-queue slot (sizeof(TraceLine) bytes). */
typedef struct TraceLine {
  uint32_t line_end;  /**< 1: "\r\n" is appended to the line */
  uint32_t in_use;    /**< 1 while the record holds a line not yet emitted */
  uint32_t seconds;   /**< seconds value the timestamp was made from */
  uint32_t thread_id; /**< id of the thread that made the call */
  const char *tag;    /**< the caller's tag, or NULL */
  int32_t level;      /**< 1-5 */
  Utm time;           /**< broken-down timestamp */
  int32_t milliseconds; /**< 0-999, the timestamp's milliseconds */
} TraceLine;

/** DebugInfo is what a route receives for each line; its pointers are valid
   only during the route call. */
typedef struct DebugInfo {
  const char *tag;       /**< the caller's tag, or "ktrace" */
  const char *message;   /**< the formatted message alone */
  const char *line;      /**< the finished line without its level marker */
  const char *timestamp; /**< "MM-DD hh:mm:ss.mmm" */
  uint32_t seconds;      /**< seconds value the timestamp was made from */
  uint32_t thread_id;    /**< id of the thread that made the call */
  int32_t level;         /**< 1-5 */
} DebugInfo;

/** DebugInfoRoute receives every emitted line (see AddDebugInfoRoute). */
typedef void (*DebugInfoRoute)(const DebugInfo *info);

/** DebugOutputFunc replaces the debugger output: it receives the finished
   line and its length in bytes (see SetDebugOutput). */
typedef void (*DebugOutputFunc)(const char *line, int32_t length);

/** kLOGV traces a message at level V with tag "ktrace" and no line end.
   Thread-safe. */
QRVL_API void kLOGV(const char *format, ...) QRVL_PRINTF(1, 2);
/** kLOGD traces a message at level D with tag "ktrace" and no line end.
   Thread-safe. */
QRVL_API void kLOGD(const char *format, ...) QRVL_PRINTF(1, 2);
/** kLOGI traces a message at level I with tag "ktrace" and no line end.
   Thread-safe. */
QRVL_API void kLOGI(const char *format, ...) QRVL_PRINTF(1, 2);
/** kLOGW traces a message at level W with tag "ktrace" and no line end.
   Thread-safe. */
QRVL_API void kLOGW(const char *format, ...) QRVL_PRINTF(1, 2);
/** kLOGE traces a message at level E with tag "ktrace" and no line end.
   Thread-safe. */
QRVL_API void kLOGE(const char *format, ...) QRVL_PRINTF(1, 2);

/** verlog_w traces a message at level V without a tag and with "\r\n".
   Thread-safe. */
QRVL_API void verlog_w(const char *format, ...) QRVL_PRINTF(1, 2);
/** sdklog_w traces a message at level D without a tag and with "\r\n".
   Thread-safe. */
QRVL_API void sdklog_w(const char *format, ...) QRVL_PRINTF(1, 2);
/** infolog_w traces a message at level I without a tag and with "\r\n".
   Thread-safe. */
QRVL_API void infolog_w(const char *format, ...) QRVL_PRINTF(1, 2);
/** warnlog_w traces a message at level W without a tag and with "\r\n".
   Thread-safe. */
QRVL_API void warnlog_w(const char *format, ...) QRVL_PRINTF(1, 2);
/** errlog_w traces a message at level E without a tag and with "\r\n".
   Thread-safe. */
QRVL_API void errlog_w(const char *format, ...) QRVL_PRINTF(1, 2);

/** verlog_t traces a message at level V with the caller's tag (NULL acts as
   verlog_w) and "\r\n".  Thread-safe. */
QRVL_API void verlog_t(const char *tag, const char *format, ...) QRVL_PRINTF(2, 3);
/** sdklog_t traces a message at level D with the caller's tag (NULL acts as
   sdklog_w) and "\r\n".  Thread-safe. */
QRVL_API void sdklog_t(const char *tag, const char *format, ...) QRVL_PRINTF(2, 3);
/** infolog_t traces a message at level I with the caller's tag (NULL acts as
   infolog_w) and "\r\n".  Thread-safe. */
QRVL_API void infolog_t(const char *tag, const char *format, ...) QRVL_PRINTF(2, 3);
/** warnlog_t traces a message at level W with the caller's tag (NULL acts as
   warnlog_w) and "\r\n".  Thread-safe. */
QRVL_API void warnlog_t(const char *tag, const char *format, ...) QRVL_PRINTF(2, 3);
/** errlog_t traces a message at level E with the caller's tag (NULL acts as
   errlog_w) and "\r\n".  Thread-safe. */
QRVL_API void errlog_t(const char *tag, const char *format, ...) QRVL_PRINTF(2, 3);

/** LevelTrace prints the message (at most 1023 characters) to standard
   output without header or line end, only while the debug switch is on and
   priority passes the level test.  Thread-safe. */
QRVL_API void LevelTrace(int32_t priority, const char *format, ...) QRVL_PRINTF(2, 3);
/** LevelPTrace traces the message at level (1-5) with tag "ktrace" and no
   line end when priority passes the level test; any other level produces
   nothing.  Thread-safe. */
QRVL_API void LevelPTrace(int32_t priority, int32_t level, const char *format, ...)
    QRVL_PRINTF(3, 4);

/** SetDebugLevel sets the level-test threshold (negative becomes 0).
   Thread-safe; other threads see the change at some later call. */
QRVL_API void SetDebugLevel(int32_t level);
/** SetDebugOperate sets the level-test operation, clamped to 0-5:
   >=, >, <=, <, ==, != (priority against threshold).
   Thread-safe; other threads see the change at some later call. */
QRVL_API void SetDebugOperate(int32_t operation);
/** SetDebugMsgMask sets the message mask: V 0x01, D 0x02, I 0x04, W 0x08,
   E 0x10.  Thread-safe; other threads see the change at some later call. */
QRVL_API void SetDebugMsgMask(int32_t mask);
/** SetDebugFilter sets the message mask from the letters v d i w e found in
   the first five characters of filter (case-insensitive); other characters
   count toward the five.  An empty text passes nothing; NULL leaves the
   mask unchanged.
   Thread-safe; other threads see the change at some later call. */
QRVL_API void SetDebugFilter(const char *filter);
/** SetDebugFilterAtConsole chooses where the mask applies: 0 at the source
   (dropped lines reach no route), non-zero at the console only.
   Thread-safe; other threads see the change at some later call. */
QRVL_API void SetDebugFilterAtConsole(uint8_t at_console);
/** SetDebugSwitch turns the debug switch on (non-zero) or off.
   Thread-safe; other threads see the change at some later call. */
QRVL_API void SetDebugSwitch(uint8_t on);
/** GetDebugState returns the debug switch.  Thread-safe. */
QRVL_API uint8_t GetDebugState(void);
/** SetDebugTimeStringUseClocks stamps lines with the uptime (non-zero)
   instead of local standard time. */
QRVL_API void SetDebugTimeStringUseClocks(uint8_t use_clocks);

/** EmptyLog does nothing with whatever it is given, so that it can stand in
   for any log function.  Thread-safe. */
#ifdef __cplusplus
QRVL_API void EmptyLog(...);
#else
QRVL_API void EmptyLog();
#endif
/** @} */

/* ---- Debug queue and routes -------------------------------------------- */

/** @name Debug queue and routes */
/** @{ */

/** SetDebugOutput installs the function that receives finished lines
   instead of the debugger output (standard error); NULL keeps the current
   one.  Not synchronised with lines being emitted. */
QRVL_API void SetDebugOutput(DebugOutputFunc output);
/** AddDebugInfoRoute puts route into the first of three empty route slots;
   NULL, a route already set and a full array are reported through
   errlog_t with tag "quorvel".  Thread-safe. */
QRVL_API void AddDebugInfoRoute(DebugInfoRoute route);
/** DelDebugInfoRoute empties the slot holding route; NULL is ignored and a
   route not found is reported through errlog_t.  Thread-safe. */
QRVL_API void DelDebugInfoRoute(DebugInfoRoute route);

/** SetDebugQueue moves the emitting of trace lines to one writer thread:
   callers format their message, timestamp and thread id into the next
   free slot of the caller's ring and return; header, routes and output
   are built on the writer, which emits the slots in the order they were
   filled.  buffer holds count slots of size bytes each and must be
   zero-filled, hold count * size bytes and stay valid for the rest of the
   process.  Each slot starts with a TraceLine (sizeof(TraceLine) bytes;
   in_use is 1 while the slot waits for the writer), the rest is the
   message text: a message takes at most size - sizeof(TraceLine) - 1
   characters and stays terminated.  Ignored without a message when count
   is 0 or less, size is sizeof(TraceLine) or less, buffer is NULL or a
   queue is already active; a writer that cannot be started is reported
   as "SetDebugQueue() failed !!" and leaves the queue inactive.  While
   the ring is full a new line is dropped, and with the debug switch on
   "warning: debug queue is overloading\r\n" is printed to standard
   output.  The queue cannot be stopped.  Thread-safe. */
QRVL_API void SetDebugQueue(void *buffer, int32_t count, uint32_t size);
/** @} */

/* ---- File trace ----------------------------------------------------------- */

/** @name File trace
   The trace files are written unchanged (no header, timestamp or line
   end), through the sfio table, and flushed after every message.  A write
   that takes only part of a message is followed by one for the rest; one
   that takes nothing drops what is left of that message, and a failed
   flush is not reported: later messages are written as usual.  Slot 0
   belongs to Filetrace, slots 1-10 to NFiletrace with index 0-9 (index -1
   shares slot 0).  A slot is opened with "wb" at its first use and stays
   open until the process ends.  Everything here does nothing while the
   debug switch is off.  No lock is taken: use one writer per slot. */
/** @{ */

/** FiletracePath opens path with "wb" as the Filetrace file, if the debug
   switch is on and that file is not open yet; a NULL path is ignored.
   Takes no lock: one writer per file slot. */
QRVL_API void FiletracePath(const char *path);
/** Filetrace writes the formatted text (at most 1023 characters) to the
   Filetrace file, opening "KoDebugLog.txt" first if none is open.  When
   the file cannot be opened the text is dropped without a report (the
   open is tried again at the next call).  A NULL format does nothing (no
   file is opened).
   Takes no lock: one writer per file slot. */
QRVL_API void Filetrace(const char *format, ...) QRVL_PRINTF(1, 2);
/** NFiletracePath opens path with "wb" as the file of index (-1 to 9), if
   the debug switch is on and that file is not open yet; other indexes and
   a NULL path are ignored.  Takes no lock: one writer per file slot. */
QRVL_API void NFiletracePath(int32_t index, const char *path);
/** NFiletrace writes the formatted text (at most 1023 characters) to the
   file of index (-1 to 9; others are ignored), opening
   "KoDebugLog[index + 1].txt" first if none is open.  When the file cannot
   be opened its name is printed through LevelTrace with priority 0 and the
   text is dropped (the open is tried again at the next call).  A NULL
   format does nothing (no file is opened).
   Takes no lock: one writer per file slot. */
QRVL_API void NFiletrace(int32_t index, const char *format, ...) QRVL_PRINTF(2, 3);
/** @} */

QRVL_END_DECLS

#endif /* QUORVEL_TRACE_H */
