// The trace path: line texts, limits, the mask, the debug switch, the
// console filter, the level test, timestamps, routes and the queue hook.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <thread>

#include <sys/wait.h>

#include "trace/trace_core.hpp"
#include "trace/trace_messages.hpp"
#include "runtime/utm.hpp"
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
    DelDebugInfoRoute(capture_route<0>);
    DelDebugInfoRoute(capture_route<1>);
    DelDebugInfoRoute(capture_route<2>);
    DelDebugInfoRoute(capture_route<3>);
    default_settings();
  }
};

std::string header_re(char letter, const std::string &tag_part) {
  return std::string(R"(\[)") + letter + R"(\]\[)" + kStamp + R"(\]\[)" + std::to_string(tid()) +
         R"(\] )" + tag_part;
}

bool matches(const std::string &text, const std::string &pattern) {
  return std::regex_match(text, std::regex(pattern));
}

TEST_F(Trace, LineTextsOfTheThreeFamilies) {
  infolog_t("quorvel", "x=%d", 5);
  infolog_w("x");
  kLOGI("x");
  auto lines = take_console();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(matches(lines[0], header_re('I', R"(\{quorvel\} x=5)") + "\r\n")) << lines[0];
  EXPECT_TRUE(matches(lines[1], header_re('I', "x") + "\r\n")) << lines[1];
  EXPECT_TRUE(matches(lines[2], header_re('I', R"(\{ktrace\} x)"))) << lines[2];

  // Letters by level, with the debug switch on so that D and V print.
  SetDebugSwitch(1);
  kLOGV("a");
  kLOGD("a");
  kLOGI("a");
  kLOGW("a");
  kLOGE("a");
  verlog_w("b");
  sdklog_w("b");
  infolog_w("b");
  warnlog_w("b");
  errlog_w("b");
  verlog_t("t", "c");
  sdklog_t("t", "c");
  infolog_t("t", "c");
  warnlog_t("t", "c");
  errlog_t(nullptr, "c");  // a null tag acts as the _w form
  lines = take_console();
  ASSERT_EQ(lines.size(), 15u);
  const char letters[] = "VDIWE";
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(matches(lines[i], header_re(letters[i], R"(\{ktrace\} a)"))) << lines[i];
    EXPECT_TRUE(matches(lines[5 + i], header_re(letters[i], "b\r\n"))) << lines[5 + i];
  }
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(matches(lines[10 + i], header_re(letters[i], R"(\{t\} c)") + "\r\n")) << lines[10 + i];
  EXPECT_TRUE(matches(lines[14], header_re('E', "c\r\n"))) << lines[14];
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
  const RouteRecord &r = routed[0];
  EXPECT_EQ(r.tag, "net");
  EXPECT_EQ(r.message, "port 80");
  EXPECT_EQ(r.line, lines[0].substr(3));
  EXPECT_EQ(r.timestamp.size(), 18u);
  EXPECT_EQ(lines[0].substr(4, 18), r.timestamp);
  EXPECT_GE(int64_t{r.seconds}, before);
  EXPECT_LE(int64_t{r.seconds}, after);
  EXPECT_EQ(r.thread_id, tid());
  EXPECT_EQ(r.level, 2);
  EXPECT_EQ(routed[1].tag, "ktrace");  // no tag: routes still get one
  EXPECT_EQ(routed[1].level, 1);
  EXPECT_EQ(routed[1].line, lines[1].substr(3));
}

TEST_F(Trace, DebugSwitchMaskAndConsoleFilter) {
  AddDebugInfoRoute(capture_route<0>);
  EXPECT_EQ(GetDebugState(), 0);
  kLOGD("x");
  verlog_w("y");
  EXPECT_TRUE(take_console().empty());
  EXPECT_EQ(take_routed().size(), 2u);  // formatted and routed, not printed
  SetDebugSwitch(1);
  EXPECT_EQ(GetDebugState(), 1);
  kLOGD("x");
  EXPECT_EQ(take_console().size(), 1u);
  take_routed();

  // Filter at the source: dropped before routes.
  SetDebugFilterAtConsole(0);
  SetDebugMsgMask(0);
  errlog_t("quorvel", "gone");
  EXPECT_TRUE(take_console().empty());
  EXPECT_TRUE(take_routed().empty());
  // Filter at the console: routes still see it.
  SetDebugFilterAtConsole(1);
  errlog_t("quorvel", "routed");
  EXPECT_TRUE(take_console().empty());
  EXPECT_EQ(take_routed().size(), 1u);

  // At the source, the switch gates D even with its mask bit set.
  SetDebugFilterAtConsole(0);
  SetDebugMsgMask(0x1f);
  SetDebugSwitch(0);
  sdklog_t("q", "d");
  infolog_t("q", "i");
  EXPECT_EQ(take_routed().size(), 1u);
  EXPECT_EQ(take_console().size(), 1u);
}

TEST_F(Trace, FilterLettersChooseTheLevels) {
  SetDebugSwitch(1);
  auto printed_levels = [] {
    kLOGV("x");
    kLOGD("x");
    kLOGI("x");
    kLOGW("x");
    kLOGE("x");
    std::string letters;
    for (const auto &l : take_console()) letters += l[1];
    return letters;
  };
  SetDebugFilter("we");
  EXPECT_EQ(printed_levels(), "WE");
  SetDebugFilter("iwe");
  EXPECT_EQ(printed_levels(), "IWE");
  SetDebugFilter("VDIWE");
  EXPECT_EQ(printed_levels(), "VDIWE");
  SetDebugFilter("abcdei");  // only the first five characters count
  EXPECT_EQ(printed_levels(), "DE");
  SetDebugFilter(nullptr);  // no change
  EXPECT_EQ(printed_levels(), "DE");
  SetDebugFilter("");
  EXPECT_EQ(printed_levels(), "");
  SetDebugMsgMask(0x04 | 0x01);
  EXPECT_EQ(printed_levels(), "VI");
}

TEST_F(Trace, LevelTestAndLevelPTrace) {
  // Threshold 2: which priorities pass each operation.
  const char *expected[6] = {"23", "3", "12", "1", "2", "13"};
  SetDebugLevel(2);
  for (int op = 0; op < 6; ++op) {
    SetDebugOperate(op);
    std::string passed;
    for (int p = 1; p <= 3; ++p) {
      LevelPTrace(p, 3, "%d", p);
      auto lines = take_console();
      if (!lines.empty()) passed += lines[0].back();
    }
    EXPECT_EQ(passed, expected[op]) << "operation " << op;
  }
  SetDebugOperate(9);  // clamped to 5 (!=)
  LevelPTrace(2, 3, "same");
  LevelPTrace(3, 3, "other");
  EXPECT_EQ(take_console().size(), 1u);
  SetDebugOperate(-4);  // clamped to 0 (>=)
  SetDebugLevel(-3);    // stored as 0
  LevelPTrace(-1, 3, "below");
  LevelPTrace(0, 3, "at");
  auto lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("at"), std::string::npos);

  AddDebugInfoRoute(capture_route<0>);
  LevelPTrace(0, 3, "[RBTree]: Key is already exist\r\n");
  LevelPTrace(0, 2, "w");
  LevelPTrace(0, 7, "never");
  LevelPTrace(0, 0, "never");
  lines = take_console();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(matches(lines[0], header_re('E', R"(\{ktrace\} \[RBTree\]: Key is already exist)") +
                                    "\r\n"))
      << lines[0];
  EXPECT_TRUE(matches(lines[1], header_re('W', R"(\{ktrace\} w)"))) << lines[1];
  EXPECT_EQ(take_routed().size(), 2u);  // bad levels reach no route either
}

std::string capture_stdout(void (*body)()) {
  fflush(stdout);
  FILE *tmp = tmpfile();
  int saved = dup(1);
  dup2(fileno(tmp), 1);
  body();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string out;
  rewind(tmp);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, tmp)) > 0) out.append(buffer, n);
  fclose(tmp);
  return out;
}

TEST_F(Trace, LevelTraceWritesTheBareMessageToStandardOutput) {
  AddDebugInfoRoute(capture_route<0>);
  EXPECT_EQ(capture_stdout([] { LevelTrace(5, "off %d", 1); }), "");
  SetDebugSwitch(1);
  EXPECT_EQ(capture_stdout([] { LevelTrace(5, "on %d|", 2); }), "on 2|");
  SetDebugLevel(6);
  EXPECT_EQ(capture_stdout([] { LevelTrace(5, "low"); }), "");
  SetDebugLevel(0);
  std::string big(2000, 'm');
  static const char *big_text;
  big_text = big.c_str();
  EXPECT_EQ(capture_stdout([] { LevelTrace(0, "%s", big_text); }), std::string(1023, 'm'));
  EXPECT_TRUE(take_console().empty());  // no console, no routes
  EXPECT_TRUE(take_routed().empty());
}

TEST_F(Trace, LongTextsAreCutAtTheirLimits) {
  AddDebugInfoRoute(capture_route<0>);
  std::string big(2000, 'x');
  infolog_t("quorvel", "%s", big.c_str());
  auto lines = take_console();
  auto routed = take_routed();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(routed[0].message, std::string(1024, 'x'));
  EXPECT_EQ(lines[0].size(), 1024u);  // cut line: its "\r\n" is gone
  EXPECT_EQ(lines[0].back(), 'x');
  EXPECT_EQ(routed[0].line, lines[0].substr(3));

  // Exactly one character short of room for "\r\n": the "\r" stays.
  infolog_t("quorvel", "%s", "");
  size_t header = take_console()[0].size() - 2;
  infolog_t("quorvel", "%s", std::string(1023 - header, 'y').c_str());
  lines = take_console();
  EXPECT_EQ(lines[0].size(), 1024u);
  EXPECT_EQ(lines[0].substr(1022), "y\r");
  take_routed();

  // The header stops at 195 characters, the tag's brace and blank with it.
  std::string tag(300, 't');
  warnlog_t(tag.c_str(), "msg");
  lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 195u + 3 + 2);
  EXPECT_EQ(lines[0].substr(194), "tmsg\r\n");
  EXPECT_EQ(take_routed()[0].tag, tag);
}

TEST_F(Trace, TimestampFromUptimeClocks) {
  TraceLine line{};
  line.level = 1;
  line.seconds = 65;
  line.milliseconds = 500;
  line.thread_id = 7;
  quorvel::detail::UtmBreakDown(65, &line.time, nullptr);
  quorvel::detail::trace_emit("k", "m", &line);
  EXPECT_EQ(take_console().at(0), "[I][01-01 00:01:05.500][7] {k} m");

  SetDebugTimeStringUseClocks(1);
  AddDebugInfoRoute(capture_route<0>);
  uint32_t before = GetClockTimeStamp();
  kLOGI("up");
  uint32_t after = GetClockTimeStamp();
  auto routed = take_routed();
  ASSERT_EQ(routed.size(), 1u);
  bool found = false;
  for (uint32_t t = before; t <= after && !found; ++t) {
    Utm u;
    GetUtm(t / 1000, &u);
    char expected[32];
    snprintf(expected, sizeof expected, "%02d-%02d %02d:%02d:%02d.%03u", u.tm_mon + 1, u.tm_mday,
             u.tm_hour, u.tm_min, u.tm_sec, t % 1000);
    found = routed[0].timestamp == expected && routed[0].seconds == t / 1000;
  }
  EXPECT_TRUE(found) << routed[0].timestamp;
}

// Local standard time: the zone's whole hours, never daylight saving time.
TEST_F(Trace, TimestampFromWallClockInLocalStandardTime) {
  AddDebugInfoRoute(capture_route<0>);
  const char *saved = getenv("TZ");
  std::string saved_tz = saved ? saved : "";
  struct Zone {
    const char *tz;
    int hours;
  } zones[] = {{"UTC0", 0}, {"IST-5:30", 5}, {"EST5EDT,M3.2.0,M11.1.0", -5}, {"NST3:30", -3}};
  for (const Zone &z : zones) {
    setenv("TZ", z.tz, 1);
    tzset();
    struct timespec a, b;
    clock_gettime(CLOCK_REALTIME, &a);
    infolog_t("tz", "%s", z.tz);
    clock_gettime(CLOCK_REALTIME, &b);
    auto routed = take_routed();
    ASSERT_EQ(routed.size(), 1u);
    bool found = false;
    for (int64_t ms = int64_t{a.tv_sec} * 1000 + a.tv_nsec / 1000000;
         ms <= int64_t{b.tv_sec} * 1000 + b.tv_nsec / 1000000 && !found; ++ms) {
      time_t shifted = static_cast<time_t>(ms / 1000 + z.hours * 3600);
      struct tm u;
      gmtime_r(&shifted, &u);
      char expected[32];
      snprintf(expected, sizeof expected, "%02d-%02d %02d:%02d:%02d.%03d", u.tm_mon + 1, u.tm_mday,
               u.tm_hour, u.tm_min, u.tm_sec, static_cast<int>(ms % 1000));
      found = routed[0].timestamp == expected && routed[0].seconds == ms / 1000;
    }
    EXPECT_TRUE(found) << z.tz << " " << routed[0].timestamp;
  }
  if (saved) setenv("TZ", saved_tz.c_str(), 1); else unsetenv("TZ");
  tzset();
}

struct Enqueued {
  int calls = 0;
  int32_t level = 0;
  const char *tag = nullptr;
  uint32_t line_end = 9;
  std::string message;
} g_enqueued;

void fake_enqueue(int32_t level, const char *tag, uint32_t line_end, const char *format,
                  va_list args) {
  ++g_enqueued.calls;
  g_enqueued.level = level;
  g_enqueued.tag = tag;
  g_enqueued.line_end = line_end;
  char buffer[64];
  vsnprintf(buffer, sizeof buffer, format, args);
  g_enqueued.message = buffer;
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
  EXPECT_EQ(g_enqueued.calls, 2);
  EXPECT_EQ(g_enqueued.level, 3);
  EXPECT_STREQ(g_enqueued.tag, "ktrace");
  EXPECT_EQ(g_enqueued.line_end, 0u);
  EXPECT_EQ(g_enqueued.message, "e");
  EXPECT_TRUE(take_console().empty());
  EXPECT_TRUE(take_routed().empty());
}

TEST_F(Trace, RouteSlotsOrderAndReports) {
  using namespace quorvel::detail;
  auto report = [](const char *text) {
    return std::string("{quorvel} ") + text + "\r\n";
  };
  auto ends_with = [](const std::string &s, const std::string &end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
  };
  AddDebugInfoRoute(capture_route<0>);
  AddDebugInfoRoute(capture_route<1>);
  AddDebugInfoRoute(capture_route<2>);
  kLOGI("one");
  auto routed = take_routed();
  ASSERT_EQ(routed.size(), 3u);
  EXPECT_EQ(routed[0].route, 0);
  EXPECT_EQ(routed[1].route, 1);
  EXPECT_EQ(routed[2].route, 2);
  take_console();

  AddDebugInfoRoute(capture_route<0>);
  auto lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(matches(lines[0], header_re('E', R"(\{quorvel\} [\s\S]*)"))) << lines[0];
  EXPECT_TRUE(ends_with(lines[0], report(kRouteSetBeforeText))) << lines[0];
  EXPECT_EQ(take_routed().size(), 3u);  // the report reached each route once

  AddDebugInfoRoute(capture_route<3>);
  lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(ends_with(lines[0], report(kRouteArrayFullText))) << lines[0];

  // Emptying slot 0 leaves B in slot 1; B again is still "set before",
  // and a new route fills slot 0, ahead of B.
  DelDebugInfoRoute(capture_route<0>);
  take_routed();
  AddDebugInfoRoute(capture_route<1>);
  lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(ends_with(lines[0], report(kRouteSetBeforeText)));
  take_routed();
  AddDebugInfoRoute(capture_route<3>);
  kLOGI("two");
  routed = take_routed();
  ASSERT_EQ(routed.size(), 3u);
  EXPECT_EQ(routed[0].route, 3);
  EXPECT_EQ(routed[1].route, 1);
  EXPECT_EQ(routed[2].route, 2);
  take_console();

  DelDebugInfoRoute(capture_route<0>);
  lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(ends_with(lines[0], report(kRouteNotFoundText)));
  DelDebugInfoRoute(nullptr);
  AddDebugInfoRoute(nullptr);
  lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(ends_with(lines[0], report(kRouteNullText)));

  DelDebugInfoRoute(capture_route<1>);
  DelDebugInfoRoute(capture_route<2>);
  DelDebugInfoRoute(capture_route<3>);
  take_routed();
  kLOGI("three");
  EXPECT_TRUE(take_routed().empty());
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
  EXPECT_TRUE(matches(g_other_console[0], header_re('W', R"(\{ktrace\} other)")));
}

// Several threads trace while settings change under them: every line is
// whole and carries its own thread's id.  Run under TSan to check that the
// trace path is free of data races.
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

// Thread ids are cached per thread; a forked child must still report its
// own id, not its parent's.
TEST_F(Trace, ForkedChildTracesWithItsOwnThreadId) {
  kLOGI("parent");
  auto lines = take_console();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(matches(lines[0], header_re('I', R"(\{ktrace\} parent)")));
  fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    kLOGI("child");
    auto child_lines = take_console();
    bool ok = child_lines.size() == 1 &&
              matches(child_lines[0], header_re('I', R"(\{ktrace\} child)"));
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
