// The trace path: texts, limits, filters, levels, timestamps, routes, queue hook.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <thread>

#include "support/child_process.hpp"
#include "trace/trace_core.hpp"
#include "trace/trace_messages.hpp"
#include "trace_capture.hpp"

using namespace trace_test;

namespace {

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    default_settings();
    SetDebugOutput(capture_output);
    take_console();
    take_routed();
  }
  void TearDown() override {
    for (auto route : {capture_route<0>, capture_route<1>, capture_route<2>, capture_route<3>})
      DelDebugInfoRoute(route);
    default_settings();
  }
};

// The whole text is a line of this thread at this level, followed by rest.
::testing::AssertionResult IsLine(const std::string &text, char letter, const std::string &rest) {
  const std::string header = std::string(R"(\[)") + letter + R"(\]\[)" + kStamp + R"(\]\[)" +
                             std::to_string(tid()) + R"(\] )";
  if (std::regex_match(text, std::regex(header + rest))) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "line: " << text;
}

// The one console line made since the last look; "" unless there was exactly one.
std::string one_line() {
  auto lines = take_console();
  return lines.size() == 1 ? lines[0] : "";
}

TEST_F(Trace, LineTextsOfTheThreeFamilies) {
  SetDebugSwitch(1);  // so that D and V print
  for (int i = 0; i < 5; ++i) {
    const char letter = "VDIWE"[i];
    kK[i]("a%d", 1);
    kW[i]("b%d", 2);
    kT[i]("t", "c%d", 3);
    auto lines = take_console();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(IsLine(lines[0], letter, R"(\{ktrace\} a1)"));
    EXPECT_TRUE(IsLine(lines[1], letter, "b2\r\n"));
    EXPECT_TRUE(IsLine(lines[2], letter, "\\{t\\} c3\r\n"));
  }
  errlog_t(nullptr, "c%d", 3);  // a null tag acts as the _w form
  EXPECT_TRUE(IsLine(one_line(), 'E', "c3\r\n"));
  void (*unchecked_errlog_w)(const char *, ...) = errlog_w;
  unchecked_errlog_w(nullptr);  // a null format: an empty message, as when queued
  EXPECT_TRUE(IsLine(one_line(), 'E', "\r\n"));
  // A text the formatter cannot write (a wide character outside the C
  // locale) gives an empty message too, not a part or stale bytes.
  unchecked_errlog_w("%ls", L"\u4e00");
  EXPECT_TRUE(IsLine(one_line(), 'E', "\r\n"));
}

TEST_F(Trace, RoutesReceiveTheWholeRecord) {
  AddDebugInfoRoute(capture_route<0>);
  int64_t before;
  GetCurrentMTime(&before, nullptr);
  warnlog_t("net", "port %u", 80u);
  infolog_w("plain");
  int64_t after;
  GetCurrentMTime(&after, nullptr);
  auto lines = take_console();
  auto routed = take_routed();
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(routed.size(), 2u);
  // A line without a tag still gives the routes one.
  const char *const tag_message_level[] = {"net|port 80|2", "ktrace|plain|1"};
  for (size_t k = 0; k < 2; ++k) {
    const RouteRecord &r = routed[k];
    EXPECT_EQ(r.tag + "|" + r.message + "|" + std::to_string(r.level), tag_message_level[k]);
    EXPECT_EQ(r.line, lines[k].substr(3));
    EXPECT_EQ(r.timestamp, lines[k].substr(4, 18));
    EXPECT_TRUE(r.seconds >= before && r.seconds <= after) << r.seconds;
  }
}

// "console lines/route records" made since the last look.
std::string taken() {
  const size_t console = take_console().size();
  return std::to_string(console) + "/" + std::to_string(take_routed().size());
}

TEST_F(Trace, DebugSwitchMaskAndConsoleFilter) {
  AddDebugInfoRoute(capture_route<0>);
  const struct {
    int debug_switch, filter_at_console, mask;
    void (*trace)();
    const char *taken;
  } rows[] = {
      {0, 1, 0x1f, [] { kLOGD("x"); verlog_w("y"); }, "0/2"},  // formatted and routed, not printed
      {1, 1, 0x1f, [] { kLOGD("x"); }, "1/1"},
      {1, 0, 0, [] { errlog_t("quorvel", "gone"); }, "0/0"},    // at the source: before routes
      {1, 1, 0, [] { errlog_t("quorvel", "routed"); }, "0/1"},  // at the console: routes see it
      // At the source, the switch gates D even with its mask bit set.
      {0, 0, 0x1f, [] { sdklog_t("q", "d"); infolog_t("q", "i"); }, "1/1"},
  };
  for (const auto &row : rows) {
    SetDebugSwitch(row.debug_switch);
    SetDebugFilterAtConsole(row.filter_at_console);
    SetDebugMsgMask(row.mask);
    EXPECT_EQ(GetDebugState(), row.debug_switch);
    row.trace();
    EXPECT_EQ(taken(), row.taken) << "row " << &row - rows;
  }
}

TEST_F(Trace, FilterLettersChooseTheLevels) {
  SetDebugSwitch(1);
  auto printed_levels = [] {
    for (PlainCall call : kK) call("x");
    std::string letters;
    for (const auto &l : take_console()) letters += l[1];
    return letters;
  };
  // Only the first five characters count; a null filter changes nothing.
  const struct {
    const char *filter, *printed;
  } rows[] = {{"we", "WE"},     {"iwe", "IWE"}, {"VDIWE", "VDIWE"},
              {"abcdei", "DE"}, {nullptr, "DE"}, {"1e", "E"}, {"", ""}};
  for (const auto &row : rows) {
    SetDebugFilter(row.filter);
    EXPECT_EQ(printed_levels(), row.printed) << (row.filter ? row.filter : "(null)");
  }
  SetDebugMsgMask(0x04 | 0x01);
  EXPECT_EQ(printed_levels(), "VI");
}

TEST_F(Trace, LevelTestAndLevelPTrace) {
  // Threshold 2: which priorities pass each operation; 9 and -4 clamp to 5 and 0.
  const struct {
    int op;
    const char *passed;
  } rows[] = {{0, "23"}, {1, "3"},  {2, "12"}, {3, "1"},
              {4, "2"},  {5, "13"}, {9, "13"}, {-4, "23"}};
  SetDebugLevel(2);
  for (const auto &row : rows) {
    SetDebugOperate(row.op);
    std::string passed;
    for (int p = 1; p <= 3; ++p) {
      LevelPTrace(p, 3, "%d", p);
      auto lines = take_console();
      if (!lines.empty()) passed += lines[0].back();
    }
    EXPECT_EQ(passed, row.passed) << "operation " << row.op;
  }
  SetDebugLevel(-3);  // stored as 0
  LevelPTrace(-1, 3, "below");
  LevelPTrace(0, 3, "at");
  EXPECT_TRUE(IsLine(one_line(), 'E', R"(\{ktrace\} at)"));

  AddDebugInfoRoute(capture_route<0>);
  LevelPTrace(0, 3, "[RBTree]: Key is already exist\r\n");
  LevelPTrace(0, 2, "w");
  LevelPTrace(0, 7, "never");
  LevelPTrace(0, 0, "never");
  auto lines = take_console();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(IsLine(lines[0], 'E', R"(\{ktrace\} \[RBTree\]: Key is already exist)" "\r\n"));
  EXPECT_TRUE(IsLine(lines[1], 'W', R"(\{ktrace\} w)"));
  EXPECT_EQ(take_routed().size(), 2u);  // bad levels reach no route either
}

TEST_F(Trace, LevelTraceWritesTheBareMessageToStandardOutput) {
  AddDebugInfoRoute(capture_route<0>);
  EXPECT_EQ(capture_fd(1, [] { LevelTrace(5, "off %d", 1); }), "");
  SetDebugSwitch(1);
  EXPECT_EQ(capture_fd(1, [] { LevelTrace(5, "on %d|", 2); }), "on 2|");
  SetDebugLevel(6);
  EXPECT_EQ(capture_fd(1, [] { LevelTrace(5, "low"); }), "");
  SetDebugLevel(0);
  static const std::string big(2000, 'm');
  EXPECT_EQ(capture_fd(1, [] { LevelTrace(0, "%s", big.c_str()); }), std::string(1023, 'm'));
  EXPECT_EQ(capture_fd(1, [] {
              void (*unchecked)(int32_t, const char *, ...) = LevelTrace;
              unchecked(0, nullptr);
              unchecked(0, "%ls", L"\u4e00");  // the formatter fails: nothing printed
            }),
            "");
  EXPECT_EQ(taken(), "0/0");  // no console, no routes
}

TEST_F(Trace, LongTextsAreCutAtTheirLimits) {
  AddDebugInfoRoute(capture_route<0>);
  infolog_t("quorvel", "%s", "");
  const size_t header = take_console()[0].size() - 2;  // "[I][stamp][tid] {quorvel} "
  take_routed();
  const std::string long_tag(300, 't');
  const struct {
    const std::string &tag;
    size_t length;  // of the message, all 'x'
    size_t line_size;
    const char *tail;
  } rows[] = {
      {"quorvel", 2000, 1024, "xx"},           // cut line: its "\r\n" is gone
      {"quorvel", 1023 - header, 1024, "x\r"},  // one short of room for "\r\n"
      {long_tag, 3, 195 + 3 + 2, "txxx\r\n"},  // the header stops at 195 characters
  };
  for (const auto &row : rows) {
    infolog_t(row.tag.c_str(), "%s", std::string(row.length, 'x').c_str());
    auto lines = take_console();
    auto routed = take_routed();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), row.line_size);
    EXPECT_TRUE(lines[0].ends_with(row.tail)) << lines[0];
    EXPECT_EQ(routed[0].message, std::string(std::min<size_t>(row.length, 1024), 'x'));
    EXPECT_EQ(routed[0].tag, row.tag);
    EXPECT_EQ(routed[0].line, lines[0].substr(3));
  }
}

// Some millisecond in [first, last], shifted by whole hours, gives the record's stamp.
bool stamped_within(const RouteRecord &r, int64_t first, int64_t last, int hours) {
  for (int64_t ms = first; ms <= last; ++ms) {
    time_t shifted = static_cast<time_t>(ms / 1000 + hours * 3600);
    const struct tm u = *gmtime(&shifted);
    char text[32];
    snprintf(text, sizeof text, "%02d-%02d %02d:%02d:%02d.%03d", u.tm_mon + 1, u.tm_mday,
             u.tm_hour, u.tm_min, u.tm_sec, static_cast<int>(ms % 1000));
    if (r.timestamp == text && r.seconds == ms / 1000) return true;
  }
  return false;
}

#if defined(_WIN32)
// Windows takes the zone from the system, never from TZ: the rows can only
// check the system's, whose standard bias is west of UTC in minutes.
void set_zone(const char *) {}
int system_zone_hours() {
  TIME_ZONE_INFORMATION zone;
  GetTimeZoneInformation(&zone);
  return -static_cast<int>(zone.Bias) / 60;
}
#else
void set_zone(const char *tz) {
  if (tz != nullptr) setenv("TZ", tz, 1); else unsetenv("TZ");
  tzset();
}
#endif

// Local standard time: the zone's whole hours, never daylight saving time;
// the last row stamps from the uptime clocks, whatever the zone.
TEST_F(Trace, TimestampsFromTheWallClockOrTheUptime) {
  AddDebugInfoRoute(capture_route<0>);
  const char *saved = getenv("TZ");
  std::string saved_tz = saved ? saved : "";
  const struct {
    const char *tz;
    int hours;
  } zones[] = {
#if defined(_WIN32)
      {"the system's zone", system_zone_hours()},
#else
      {"UTC0", 0}, {"IST-5:30", 5}, {"EST5EDT,M3.2.0,M11.1.0", -5}, {"NST3:30", -3},
      // A day apart: the second line's stamp must not keep the first's day.
      {"AAA12", -12}, {"BBB-12", 12},
#endif
      {nullptr, 0}};
  auto now_ms = [](bool clocks) -> int64_t {
    if (clocks) return GetClockTimeStamp();
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
  };
  for (const auto &z : zones) {
    const bool clocks = z.tz == nullptr;
    if (clocks) SetDebugTimeStringUseClocks(1); else set_zone(z.tz);
    int64_t first = now_ms(clocks);
    infolog_t("tz", "stamp");
    int64_t last = now_ms(clocks);
    auto routed = take_routed();
    ASSERT_EQ(routed.size(), 1u);
    EXPECT_TRUE(stamped_within(routed[0], first, last, z.hours))
        << (clocks ? "uptime" : z.tz) << " " << routed[0].timestamp;
  }
  set_zone(saved ? saved_tz.c_str() : nullptr);
}

int g_enqueue_calls = 0;
std::string g_enqueued;  // "level tag line_end message" of the last call

void fake_enqueue(int32_t level, const char *tag, uint32_t line_end, const char *format,
                  va_list args) {
  char message[64];
  vsnprintf(message, sizeof message, format, args);
  ++g_enqueue_calls;
  g_enqueued = std::to_string(level) + " " + tag + " " + std::to_string(line_end) + " " + message;
}

TEST_F(Trace, ActiveQueueTakesTheCallAfterTheSourceFilter) {
  AddDebugInfoRoute(capture_route<0>);
  static const char tag[] = "mine";
  quorvel::detail::g_trace_enqueue.store(fake_enqueue, std::memory_order_release);
  warnlog_t(tag, "v=%d %s", 7, "ok");
  kLOGE("e");
  SetDebugFilterAtConsole(0);
  SetDebugMsgMask(0x08);
  kLOGE("dropped at the source");
  quorvel::detail::g_trace_enqueue.store(nullptr, std::memory_order_release);
  EXPECT_EQ(g_enqueue_calls, 2);
  EXPECT_EQ(g_enqueued, "3 ktrace 0 e");
  EXPECT_EQ(taken(), "0/0");
}

// Each step adds or deletes a route (-1: null), then traces a line: the
// console shows the step's report, if any, before the line, and the routes
// reached, in slot order, receive the report and then the line.
TEST_F(Trace, RouteSlotsOrderAndReports) {
  using namespace quorvel::detail;
  const DebugInfoRoute routes[] = {capture_route<0>, capture_route<1>, capture_route<2>,
                                   capture_route<3>};
  const struct {
    bool add;
    int route;
    const char *report, *reached;
  } steps[] = {
      {true, 0, nullptr, "0"},   {true, 1, nullptr, "01"},
      {true, 2, nullptr, "012"}, {true, 0, kRouteSetBeforeText, "012"},
      {true, 3, kRouteArrayFullText, "012"},
      {false, 0, nullptr, "12"},  // slot 0 emptied: 1 is still "set before"
      {true, 1, kRouteSetBeforeText, "12"},
      {true, 3, nullptr, "312"},  // a new route fills slot 0
      {false, 0, kRouteNotFoundText, "312"},  {false, -1, nullptr, "312"},
      {true, -1, kRouteNullText, "312"},      {false, 1, nullptr, "32"},
      {false, 2, nullptr, "3"},  {false, 3, nullptr, ""},
  };
  for (const auto &step : steps) {
    const DebugInfoRoute route = step.route < 0 ? nullptr : routes[step.route];
    (step.add ? AddDebugInfoRoute : DelDebugInfoRoute)(route);
    kLOGI("x");
    std::string reached;
    for (const auto &r : take_routed()) reached += static_cast<char>('0' + r.route);
    const std::string report = step.report ? std::string("{quorvel} ") + step.report + "\r\n" : "";
    auto lines = take_console();
    const std::string where = (step.add ? "add " : "del ") + std::to_string(step.route);
    EXPECT_EQ(reached, report.empty() ? step.reached : std::string(step.reached) + step.reached)
        << where;
    ASSERT_EQ(lines.size(), report.empty() ? 1u : 2u) << where;
    EXPECT_TRUE(report.empty() || (lines[0].starts_with("[E]") && lines[0].ends_with(report)))
        << lines[0];
  }
}

std::vector<std::string> g_other_console;
void other_output(const char *line, int32_t length) { g_other_console.emplace_back(line, length); }

TEST_F(Trace, OutputFunctionCanBeReplacedButNotRemoved) {
  SetDebugOutput(nullptr);
  kLOGW("kept");
  EXPECT_EQ(take_console().size(), 1u);
  SetDebugOutput(other_output);
  kLOGW("other");
  SetDebugOutput(capture_output);
  EXPECT_TRUE(take_console().empty());
  ASSERT_EQ(g_other_console.size(), 1u);
  EXPECT_TRUE(IsLine(g_other_console[0], 'W', R"(\{ktrace\} other)"));
}

// Every line whole, with its own thread's id, while settings change (TSan: no races).
TEST_F(Trace, ConcurrentCallersAndSetters) {
  AddDebugInfoRoute(capture_route<0>);
  SetDebugSwitch(1);
  constexpr int kThreads = 4, kLines = 200;
  std::atomic<bool> stop{false};
  std::thread setter([&] {
    while (!stop.load()) {
      SetDebugMsgMask(0x1f);
      SetDebugLevel(0);
      SetDebugTimeStringUseClocks(0);
      SetDebugSwitch(1);
    }
  });
  std::vector<std::thread> threads;
  std::vector<uint32_t> ids(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &ids] {
      ids[t] = tid();
      for (int i = 0; i < kLines; ++i) infolog_t("mt", "thread %d line %d", t, i);
    });
  }
  for (auto &th : threads) th.join();
  stop = true;
  setter.join();
  auto lines = take_console();
  auto routed = take_routed();
  ASSERT_EQ(lines.size(), size_t{kThreads * kLines});
  ASSERT_EQ(routed.size(), size_t{kThreads * kLines});
  std::vector<int> next(kThreads, 0);
  for (const auto &r : routed) {
    int t, i;
    ASSERT_EQ(sscanf(r.message.c_str(), "thread %d line %d", &t, &i), 2);
    EXPECT_EQ(r.thread_id, ids[t]);
    EXPECT_EQ(i, next[t]++);  // each thread's lines in its own order
  }
}

// Thread ids are cached per thread; a forked child must report its own.
TEST_F(Trace, ForkedChildTracesWithItsOwnThreadId) {
  kLOGI("parent");
  EXPECT_TRUE(IsLine(one_line(), 'I', R"(\{ktrace\} parent)"));
  qrvl_test::run_in_child([] {
    kLOGI("child");
    EXPECT_TRUE(IsLine(one_line(), 'I', R"(\{ktrace\} child)"));
  });
}

}  // namespace
