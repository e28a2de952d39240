// The trace core's internal interface, shared with the debug queue, the
// trace files and every family that reports through the trace path.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "common/library_log.hpp"
#include "quorvel/trace.h"

namespace quorvel::detail {

// The tag of the untagged kLOG* lines.
inline constexpr const char kDefaultTag[] = "ktrace";

// Text limits of one line (characters, the terminating zero not counted).
inline constexpr int kMessageMax = 1024;
inline constexpr int kHeaderMax = 195;
inline constexpr int kLineMax = 1024;
inline constexpr int kLevelTraceMax = 1023;

// What a timestamp is made from: the uptime clocks, or the wall clock
// shifted by the local zone's standard-time hours.  Reading it costs more
// than reading the clock (the zone is looked up each time), so a caller
// that must read the clock under a lock reads this before taking it.
struct TimeBasis {
  bool clocks;
  int32_t hours;
};
TimeBasis trace_time_basis();

// Fills seconds, time and milliseconds of *line from the clock basis says.
void trace_capture_time(TraceLine *line, const TimeBasis &basis);

// The timestamp text up to the seconds ("MM-DD hh:mm:ss") of the fields it
// was made from.  A thread that emits many lines keeps one, so that the
// lines of one second share the work; it starts with valid false.
struct StampCache {
  bool valid;
  uint32_t length;
  int32_t sec, min, hour, mday, mon;
  char text[64];  // room for fields far out of range, not terminated
};

// Steps E1-E6 of emitting: timestamp text, header, line, routes, console
// filter, output.  tag may be null (no tag in the header, "ktrace" for the
// routes).  cache may be null.  Makes no heap allocation.
void trace_emit(const char *tag, const char *message, const TraceLine *line, StampCache *cache);

// The debug queue's entry point, null while no queue is active.  The trace
// path (after the source filter) calls it when non-null and returns.
using TraceEnqueue = void (*)(int32_t level, const char *tag, uint32_t line_end,
                              const char *format, va_list args);
extern std::atomic<TraceEnqueue> g_trace_enqueue;  // loaded with memory_order_acquire

// The debug switch (non-zero: on).  Also gates the queue overload warning
// and the trace files.
uint8_t trace_debug_switch();

// The message-mask test of a level (the debug switch gates D and V).
bool trace_level_passes_mask(int32_t level);

}  // namespace quorvel::detail
