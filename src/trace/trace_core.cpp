// The trace core: settings, the trace path and the emitting of one line.
//
// Settings are relaxed atomics: setters and the trace path never lock, and
// a change reaches other threads at some later call.  Every text of a line
// is built in fixed buffers on the caller's stack, by hand where printf's
// generality is not needed (timestamp, header, line), so one trace call
// costs a single vsnprintf and makes no heap allocation.
#include "trace/trace_core.hpp"

#include <cstdio>
#include <cstring>

#include "common/calendar.hpp"
#include "common/decimal.hpp"
#include "platform/platform.hpp"
#include "trace/message_format.hpp"
#include "trace/routes.hpp"

namespace quorvel::detail {

std::atomic<TraceEnqueue> g_trace_enqueue{nullptr};

namespace {

std::atomic<int32_t> g_msg_mask{0x1f};
std::atomic<int32_t> g_filter_at_console{1};
std::atomic<uint8_t> g_debug_switch{0};
std::atomic<int32_t> g_use_clocks{0};
std::atomic<int32_t> g_level_threshold{0};
std::atomic<int32_t> g_level_operation{0};

// Level letters and message-mask bits, index level - 1.
constexpr char kLevelLetter[5] = {'I', 'W', 'E', 'D', 'V'};
constexpr int32_t kLevelMaskBit[5] = {0x04, 0x08, 0x10, 0x02, 0x01};

bool valid_level(int32_t level) { return level >= 1 && level <= 5; }

bool level_test(int32_t priority) {
  int32_t threshold = g_level_threshold.load(std::memory_order_relaxed);
  switch (g_level_operation.load(std::memory_order_relaxed)) {
    case 0: return priority >= threshold;
    case 1: return priority > threshold;
    case 2: return priority <= threshold;
    case 3: return priority < threshold;
    case 4: return priority == threshold;
    default: return priority != threshold;
  }
}

// Appends to a fixed buffer, silently cutting at its limit, the way
// snprintf cuts: what fits is kept, the rest is lost.
struct Text {
  char *p;
  char *limit;  // one past the last character that may be written

  void put(char c) {
    if (p < limit) *p++ = c;
  }
  void put(const char *s, size_t n) {
    size_t room = static_cast<size_t>(limit - p);
    if (n > room) n = room;
    memcpy(p, s, n);
    p += n;
  }
  void put(const char *s) { put(s, strnlen(s, static_cast<size_t>(limit - p))); }
  void put_unsigned(uint32_t v) {
    char digits[kUnsignedMax];
    put(digits, put_unsigned_decimal(digits, v));
  }
  // printf "%02d" and "%03d" for the fields of a timestamp, by table when
  // the value is in its usual range.
  void put_2_digits(int32_t v) {
    if (v >= 0 && v <= 99 && limit - p >= 2) {
      put_two_digits(p, static_cast<uint32_t>(v));
      p += 2;
    } else {
      put_padded(v, 2);
    }
  }
  void put_3_digits(int32_t v) {
    if (v >= 0 && v <= 999 && limit - p >= 3) {
      uint32_t u = static_cast<uint32_t>(v);
      p[0] = static_cast<char>('0' + u / 100u);
      put_two_digits(p + 1, u % 100u);
      p += 3;
    } else {
      put_padded(v, 3);
    }
  }
  // printf "%0<width>d", whose width counts the sign.
  void put_padded(int32_t v, int width) {
    char digits[kZeroPaddedMax];
    put(digits, put_zero_padded(digits, v, v < 0 ? width - 1 : width));
  }
  void terminate() { *p = '\0'; }
  size_t length(const char *start) const { return static_cast<size_t>(p - start); }
};

// The breakdown of the last shifted seconds value this thread stamped from
// (the zone name aside, which is looked up each time), and the stamp text
// of its last direct line: the lines of one second repeat both.
struct TimeCache {
  bool valid;
  uint32_t shifted;
  Utm time;
};
struct ThreadCaches {
  TimeCache time;
  StampCache stamp;
};
thread_local ThreadCaches t_caches;  // all zero: nothing cached

// UtmBreakDown(seconds, out, hours), from the cache when the shifted value
// repeats (the breakdown depends on nothing else).
void break_down(uint32_t seconds, const int32_t *hours, Utm *out) {
  uint32_t shifted = seconds + (hours != nullptr ? static_cast<uint32_t>(*hours) * 3600u : 0u);
  TimeCache &cache = t_caches.time;
  if (cache.valid && cache.shifted == shifted) {
    *out = cache.time;
    out->tm_zone = utm_zone_name();
    return;
  }
  UtmBreakDown(seconds, out, hours);
  cache.time = *out;
  cache.shifted = shifted;
  cache.valid = true;
}

// "MM-DD hh:mm:ss" of t into the cache, which then answers for t.
void fill_stamp_cache(StampCache *cache, const Utm &t) {
  Text ts{cache->text, cache->text + sizeof cache->text};
  ts.put_2_digits(t.tm_mon + 1);
  ts.put('-');
  ts.put_2_digits(t.tm_mday);
  ts.put(' ');
  ts.put_2_digits(t.tm_hour);
  ts.put(':');
  ts.put_2_digits(t.tm_min);
  ts.put(':');
  ts.put_2_digits(t.tm_sec);
  cache->length = static_cast<uint32_t>(ts.length(cache->text));
  cache->sec = t.tm_sec;
  cache->min = t.tm_min;
  cache->hour = t.tm_hour;
  cache->mday = t.tm_mday;
  cache->mon = t.tm_mon;
  cache->valid = true;
}

}  // namespace

uint8_t trace_debug_switch() { return g_debug_switch.load(std::memory_order_relaxed); }

bool trace_level_passes_mask(int32_t level) {
  if (!valid_level(level)) return false;
  if (level >= 4 && trace_debug_switch() == 0) return false;
  return (g_msg_mask.load(std::memory_order_relaxed) & kLevelMaskBit[level - 1]) != 0;
}

TimeBasis trace_time_basis() {
  if (g_use_clocks.load(std::memory_order_relaxed) != 0) return {true, 0};
  return {false, local_zone_hours()};
}

void trace_capture_time(TraceLine *line, const TimeBasis &basis) {
  if (basis.clocks) {
    uint32_t t = platform::tick_ms();
    line->seconds = t / 1000u;
    line->milliseconds = static_cast<int32_t>(t % 1000u);
    break_down(line->seconds, nullptr, &line->time);
    return;
  }
  int64_t seconds;
  uint16_t milliseconds;
  platform::wall_clock(&seconds, &milliseconds);
  line->seconds = static_cast<uint32_t>(seconds);
  line->milliseconds = milliseconds;
  break_down(line->seconds, &basis.hours, &line->time);
}

void trace_emit(const char *tag, const char *message, const TraceLine *line, StampCache *cache) {
  int32_t level = line->level;
  if (!valid_level(level)) return;

  // E1: "%02d-%02d %02d:%02d:%02d.%03d" (18 characters for in-range fields).
  // The part up to the seconds repeats for every line of a second, so a
  // cache keeps its text; the milliseconds are written each time.
  char stamp[96];
  StampCache fresh;
  if (cache == nullptr) {
    fresh.valid = false;
    cache = &fresh;
  }
  const Utm &t = line->time;
  if (!cache->valid || cache->sec != t.tm_sec || cache->min != t.tm_min ||
      cache->hour != t.tm_hour || cache->mday != t.tm_mday || cache->mon != t.tm_mon) {
    fill_stamp_cache(cache, t);
  }
  memcpy(stamp, cache->text, sizeof cache->text);
  Text ts{stamp + cache->length, stamp + sizeof stamp - 1};
  ts.put('.');
  ts.put_3_digits(line->milliseconds);
  ts.terminate();
  size_t stamp_length = ts.length(stamp);

  // E2: "[L][stamp][tid] {tag} " or "[L][stamp][tid] ", at most 195,
  // written straight into the line: what is cut at 195 here is exactly
  // what copying a separate header would have cut.
  // E3: header, message and "\r\n", at most 1024; a cut line loses what
  // did not fit, its line end first.
  // Up to the tag the header cannot reach 195 characters (the stamp is at
  // most 71, the thread id 10), so that part is written without checks.
  char text[1032];
  char *p = text;
  p[0] = '[';
  p[1] = kLevelLetter[level - 1];
  p[2] = ']';
  p[3] = '[';
  memcpy(p + 4, stamp, stamp_length);
  p += 4 + stamp_length;
  p[0] = ']';
  p[1] = '[';
  p += 2;
  p += put_unsigned_decimal(p, line->thread_id);
  p[0] = ']';
  p[1] = ' ';
  p += 2;
  Text l{p, text + kHeaderMax};
  if (tag != nullptr) {
    l.put('{');
    l.put(tag);
    l.put("} ", 2);
  } else {
    tag = kDefaultTag;
  }
  l.limit = text + kLineMax;
  l.put(message);
  if (line->line_end != 0) l.put("\r\n", 2);
  l.terminate();
  size_t text_length = l.length(text);

  // E4: every route sees the line, whatever the mask says.
  for (auto &slot : g_routes) {
    DebugInfoRoute route = slot.load(std::memory_order_acquire);
    if (route != nullptr) {
      DebugInfo info{tag, message, text + 3, stamp, line->seconds, line->thread_id, level};
      route(&info);
    }
  }

  // E5, E6.
  if (g_filter_at_console.load(std::memory_order_relaxed) != 0 && !trace_level_passes_mask(level))
    return;
  DebugOutputFunc output = g_output.load(std::memory_order_acquire);
  if (output != nullptr) {
    output(text, static_cast<int32_t>(text_length));
  } else {
    platform::debug_output(text, text_length);
  }
}

// A level outside 1-5 could never produce a line, so it is dropped before
// any work (and never takes a debug-queue slot).
void trace_vlog(int32_t level, const char *tag, uint32_t line_end, const char *format,
                va_list args) {
  if (!valid_level(level)) return;
  if (g_filter_at_console.load(std::memory_order_relaxed) == 0 && !trace_level_passes_mask(level))
    return;
  if (TraceEnqueue enqueue = g_trace_enqueue.load(std::memory_order_acquire)) {
    enqueue(level, tag, line_end, format, args);
    return;
  }
  // A null format gives an empty message, as on the queued path.
  char message[1032];
  if (format == nullptr || format_message(message, kMessageMax + 1, format, args) < 0)
    message[0] = '\0';

  TraceLine line;
  line.line_end = line_end;
  line.in_use = 1;
  line.thread_id = platform::cached_thread_id();
  line.tag = tag;
  line.level = level;
  trace_capture_time(&line, trace_time_basis());
  trace_emit(tag, message, &line, &t_caches.stamp);
}

}  // namespace quorvel::detail

using quorvel::detail::kDefaultTag;
using quorvel::detail::trace_vlog;

#define QRVL_DEFINE_TRACE(name, level, tag, line_end)      \
  extern "C" void name(const char *format, ...) {          \
    va_list args;                                          \
    va_start(args, format);                                \
    trace_vlog(level, tag, line_end, format, args);        \
    va_end(args);                                          \
  }
#define QRVL_DEFINE_TAGGED_TRACE(name, level)                      \
  extern "C" void name(const char *tag, const char *format, ...) { \
    va_list args;                                                  \
    va_start(args, format);                                        \
    trace_vlog(level, tag, 1, format, args);                       \
    va_end(args);                                                  \
  }

QRVL_DEFINE_TRACE(kLOGV, 5, kDefaultTag, 0)
QRVL_DEFINE_TRACE(kLOGD, 4, kDefaultTag, 0)
QRVL_DEFINE_TRACE(kLOGI, 1, kDefaultTag, 0)
QRVL_DEFINE_TRACE(kLOGW, 2, kDefaultTag, 0)
QRVL_DEFINE_TRACE(kLOGE, 3, kDefaultTag, 0)
QRVL_DEFINE_TRACE(verlog_w, 5, nullptr, 1)
QRVL_DEFINE_TRACE(sdklog_w, 4, nullptr, 1)
QRVL_DEFINE_TRACE(infolog_w, 1, nullptr, 1)
QRVL_DEFINE_TRACE(warnlog_w, 2, nullptr, 1)
QRVL_DEFINE_TRACE(errlog_w, 3, nullptr, 1)
QRVL_DEFINE_TAGGED_TRACE(verlog_t, 5)
QRVL_DEFINE_TAGGED_TRACE(sdklog_t, 4)
QRVL_DEFINE_TAGGED_TRACE(infolog_t, 1)
QRVL_DEFINE_TAGGED_TRACE(warnlog_t, 2)
QRVL_DEFINE_TAGGED_TRACE(errlog_t, 3)

extern "C" void LevelTrace(int32_t priority, const char *format, ...) {
  using namespace quorvel::detail;
  if (trace_debug_switch() == 0 || !level_test(priority)) return;
  char message[kLevelTraceMax + 1];
  va_list args;
  va_start(args, format);
  if (format == nullptr || vsnprintf(message, sizeof message, format, args) < 0) message[0] = '\0';
  va_end(args);
  fputs(message, stdout);
}

extern "C" void LevelPTrace(int32_t priority, int32_t level, const char *format, ...) {
  if (!quorvel::detail::level_test(priority)) return;
  va_list args;
  va_start(args, format);
  trace_vlog(level, kDefaultTag, 0, format, args);
  va_end(args);
}

extern "C" void SetDebugLevel(int32_t level) {
  quorvel::detail::g_level_threshold.store(level < 0 ? 0 : level, std::memory_order_relaxed);
}

extern "C" void SetDebugOperate(int32_t operation) {
  int32_t clamped = operation < 0 ? 0 : operation > 5 ? 5 : operation;
  quorvel::detail::g_level_operation.store(clamped, std::memory_order_relaxed);
}

extern "C" void SetDebugMsgMask(int32_t mask) {
  quorvel::detail::g_msg_mask.store(mask, std::memory_order_relaxed);
}

// Only the first five characters count, whatever they are; NULL is taken
// as "no change" rather than as an empty filter.
extern "C" void SetDebugFilter(const char *filter) {
  if (filter == nullptr) return;
  int32_t mask = 0;
  for (int i = 0; i < 5 && filter[i] != '\0'; ++i) {
    char c = filter[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    switch (c) {
      case 'v': mask |= 0x01; break;
      case 'd': mask |= 0x02; break;
      case 'i': mask |= 0x04; break;
      case 'w': mask |= 0x08; break;
      case 'e': mask |= 0x10; break;
      default: break;
    }
  }
  quorvel::detail::g_msg_mask.store(mask, std::memory_order_relaxed);
}

extern "C" void SetDebugFilterAtConsole(uint8_t at_console) {
  quorvel::detail::g_filter_at_console.store(at_console, std::memory_order_relaxed);
}

extern "C" void SetDebugSwitch(uint8_t on) {
  quorvel::detail::g_debug_switch.store(on, std::memory_order_relaxed);
}

extern "C" uint8_t GetDebugState(void) { return quorvel::detail::trace_debug_switch(); }

extern "C" void SetDebugTimeStringUseClocks(uint8_t use_clocks) {
  quorvel::detail::g_use_clocks.store(use_clocks, std::memory_order_relaxed);
}

extern "C" void EmptyLog(...) {}
