// The entry that the library's own messages go through.  Every family
// reports here, never to the console directly: the lines then follow the
// caller's trace settings, routes and debug queue like any other line.
// The trace family defines trace_vlog; the other families know only this
// header.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace quorvel::detail {

// The tag of every message of the library's own.
inline constexpr const char kLibraryTag[] = "quorvel";

// The whole trace path for one call: source filter, queue hand-over or
// formatting and emitting on the calling thread.  level is 1-5 (I, W, E, D,
// V); tag may be null; line_end non-zero ends the line with "\r\n".
void trace_vlog(int32_t level, const char *tag, uint32_t line_end, const char *format,
                va_list args) __attribute__((format(printf, 4, 0)));

// Failures (level E), fall-backs and refusals (W) and progress (D), each a
// whole line tagged "quorvel", as errlog_t, warnlog_t and sdklog_t write it.
void library_error(const char *format, ...) __attribute__((format(printf, 1, 2)));
void library_warning(const char *format, ...) __attribute__((format(printf, 1, 2)));
void library_progress(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quorvel::detail
