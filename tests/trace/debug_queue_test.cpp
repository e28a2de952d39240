// The debug queue.  A process can start it only once, so every case runs
// in its own forked child (see child_process.hpp).
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.hpp"
#include "quorvel/trace.h"
#include "trace/child_process.hpp"
#include "trace/debug_queue.hpp"

namespace {

using qrvl_test::count_of;
using qrvl_test::run_in_child;
using qrvl_test::StdoutCapture;

constexpr const char kOverload[] = "warning: debug queue is overloading\r\n";

struct Emitted {
  std::string text;
  uint32_t emitting_thread;
};

// The output function: records each line with the thread that emitted it
// and, while the gate is closed, holds the writer inside the call.
std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<Emitted> g_emitted;
bool g_gate_closed = false;

void collect(const char *line, int32_t length) {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_emitted.push_back(
      {std::string(line, static_cast<size_t>(length)), static_cast<uint32_t>(gettid())});
  g_changed.notify_all();
  g_changed.wait(lock, [] { return !g_gate_closed; });
}

bool wait_for_lines(size_t n) {
  std::unique_lock<std::mutex> lock(g_mutex);
  return g_changed.wait_for(lock, std::chrono::seconds(60), [n] { return g_emitted.size() >= n; });
}

std::vector<Emitted> emitted() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_emitted;
}

void set_gate(bool closed) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_gate_closed = closed;
  g_changed.notify_all();
}

struct Parsed {
  char level = 0;
  uint32_t thread_id = 0;
  std::string tag;      // empty without a tag
  std::string message;  // everything after the header
};

// "[I][MM-DD hh:mm:ss.mmm][tid] {tag} message"
Parsed parse(const std::string &line) {
  Parsed p;
  if (line.size() < 27 || line[0] != '[' || line[2] != ']' || line[22] != ']') return p;
  p.level = line[1];
  size_t close = line.find("] ", 23);
  if (close == std::string::npos) return p;
  p.thread_id = static_cast<uint32_t>(std::stoul(line.substr(24, close - 24)));
  size_t rest = close + 2;
  if (rest < line.size() && line[rest] == '{') {
    size_t end = line.find("} ", rest);
    if (end == std::string::npos) return p;
    p.tag = line.substr(rest + 1, end - rest - 1);
    rest = end + 2;
  }
  p.message = line.substr(rest);
  return p;
}

bool all_zero(const unsigned char *p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

TEST(DebugQueue, MovesEmittingToOneWriterInOrder) {
  run_in_child([] {
    constexpr int32_t kCount = 8;
    constexpr uint32_t kSize = 256;
    alignas(8) static unsigned char ring[kCount * kSize];
    alignas(8) static unsigned char other[kCount * kSize];
    const uint32_t me = static_cast<uint32_t>(gettid());
    SetDebugOutput(collect);

    // Refused set-ups leave tracing on the calling thread.
    SetDebugQueue(nullptr, kCount, kSize);
    SetDebugQueue(ring, 0, kSize);
    SetDebugQueue(ring, -1, kSize);
    SetDebugQueue(ring, kCount, sizeof(TraceLine));
    infolog_t("t", "direct %d", 1);
    ASSERT_EQ(emitted().size(), 1u);
    EXPECT_EQ(emitted()[0].emitting_thread, me);
    EXPECT_TRUE(all_zero(ring, sizeof ring));

    SetDebugQueue(ring, kCount, kSize);
    SetDebugQueue(other, kCount, kSize);  // a second queue is ignored
    infolog_t("t", "queued %d", 2);
    kLOGI("second");
    ASSERT_TRUE(wait_for_lines(3));
    std::vector<Emitted> lines = emitted();
    EXPECT_NE(lines[1].emitting_thread, me);
    EXPECT_EQ(lines[1].emitting_thread, lines[2].emitting_thread);
    Parsed first = parse(lines[1].text);
    EXPECT_EQ(first.level, 'I');
    EXPECT_EQ(first.thread_id, me);  // the caller's id, not the writer's
    EXPECT_EQ(first.tag, "t");
    EXPECT_EQ(first.message, "queued 2\r\n");
    Parsed second = parse(lines[2].text);
    EXPECT_EQ(second.tag, "ktrace");
    EXPECT_EQ(second.message, "second");

    // The writer is done with slot 0 once it has emitted slot 1.
    TraceLine head;
    memcpy(&head, ring, sizeof head);
    EXPECT_EQ(head.in_use, 0u);
    EXPECT_EQ(head.line_end, 1u);
    EXPECT_EQ(head.thread_id, me);
    EXPECT_EQ(head.level, 1);
    EXPECT_STREQ(head.tag, "t");
    EXPECT_LT(head.milliseconds, 1000);
    EXPECT_STREQ(reinterpret_cast<const char *>(ring + sizeof(TraceLine)), "queued 2");
    EXPECT_STREQ(reinterpret_cast<const char *>(ring + kSize + sizeof(TraceLine)), "second");
    EXPECT_TRUE(all_zero(other, sizeof other));

    // Round the ring a few times, one line at a time so that none is dropped.
    for (int i = 0; i < 3 * kCount; ++i) {
      errlog_t("lap", "line %d", i);
      ASSERT_TRUE(wait_for_lines(4 + static_cast<size_t>(i)));
    }
    lines = emitted();
    ASSERT_EQ(lines.size(), 3u + 3 * kCount);
    for (int i = 0; i < 3 * kCount; ++i) {
      Parsed p = parse(lines[3 + static_cast<size_t>(i)].text);
      EXPECT_EQ(p.level, 'E');
      EXPECT_EQ(p.message, "line " + std::to_string(i) + "\r\n");
    }
  });
}

// Slots may be any size above the head, so they need not be aligned.
TEST(DebugQueue, SmallAndUnalignedSlotsCutTheMessage) {
  for (uint32_t room : {1u, 6u}) {
    run_in_child([room] {
      constexpr int32_t kCount = 3;
      const uint32_t size = static_cast<uint32_t>(sizeof(TraceLine)) + room;
      static unsigned char storage[kCount * 200 + 1];
      unsigned char *ring = storage + 1;
      SetDebugOutput(collect);
      SetDebugQueue(ring, kCount, size);
      for (int i = 0; i < 2 * kCount + 1; ++i) {
        warnlog_t("cut", "%d-abcdefgh", i);
        ASSERT_TRUE(wait_for_lines(static_cast<size_t>(i) + 1));
      }
      std::vector<Emitted> lines = emitted();
      for (size_t i = 0; i < lines.size(); ++i) {
        std::string full = std::to_string(i) + "-abcdefgh";
        EXPECT_EQ(parse(lines[i].text).message, full.substr(0, room - 1) + "\r\n");
      }
      for (int s = 0; s < kCount; ++s) EXPECT_EQ(ring[(s + 1) * size - 1], 0);
      EXPECT_EQ(storage[kCount * size + 1], 0);  // nothing past the ring
    });
  }
}

// A slot's text area bounds the message, not the trace line's 1024.
TEST(DebugQueue, LargeSlotsHoldLongMessages) {
  for (uint32_t room : {3000u, 1500u}) {
    run_in_child([room] {
      const uint32_t size = static_cast<uint32_t>(sizeof(TraceLine)) + room;
      static unsigned char ring[2 * (sizeof(TraceLine) + 3000)];
      SetDebugOutput(collect);
      SetDebugQueue(ring, 2, size);
      std::string long_text(2500, '-');
      for (size_t i = 0; i < long_text.size(); ++i) long_text[i] = static_cast<char>('A' + i % 26);
      infolog_t("long", "<%s>", long_text.c_str());
      infolog_t("long", "after");
      ASSERT_TRUE(wait_for_lines(2));
      const std::string full = "<" + long_text + ">";
      EXPECT_EQ(std::string(reinterpret_cast<const char *>(ring + sizeof(TraceLine))),
                full.substr(0, room - 1));
    });
  }
}

// Lines of the producer test read "<thread> <sequence>"; this output
// function also records how far each producer's lines have come out.
constexpr int kProducers = 4;
int g_out_of[kProducers];

void collect_sequences(const char *line, int32_t length) {
  collect(line, length);
  int t = -1, i = -1;
  Parsed p = parse(std::string(line, static_cast<size_t>(length)));
  if (sscanf(p.message.c_str(), "%d %d", &t, &i) != 2 || t < 0 || t >= kProducers) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_out_of[t] = i + 1;
  g_changed.notify_all();
}

bool wait_until_out(int t, int n) {
  std::unique_lock<std::mutex> lock(g_mutex);
  return g_changed.wait_for(lock, std::chrono::seconds(60), [t, n] { return g_out_of[t] >= n; });
}

// Checks lines[from..] for per-producer order and returns how many came.
size_t check_sequences(const std::vector<Emitted> &lines, size_t from, const uint32_t *ids,
                       bool consecutive) {
  int last[kProducers];
  for (int &l : last) l = -1;
  for (size_t k = from; k < lines.size(); ++k) {
    Parsed p = parse(lines[k].text);
    int t = -1, i = -1;
    EXPECT_EQ(sscanf(p.message.c_str(), "%d %d", &t, &i), 2) << lines[k].text;
    if (t < 0 || t >= kProducers) {
      ADD_FAILURE() << lines[k].text;
      continue;
    }
    EXPECT_EQ(p.thread_id, ids[t]);
    if (consecutive) {
      EXPECT_EQ(i, last[t] + 1) << "producer " << t << " lost, repeated or reordered a line";
    } else {
      EXPECT_GT(i, last[t]) << "producer " << t << " repeated or reordered a line";
    }
    last[t] = i;
  }
  return lines.size() - from;
}

TEST(DebugQueue, ManyProducersKeepTheirOrderAndLoseNothingAccepted) {
  run_in_child([] {
    constexpr int kBatch = 16;
    // Room for every producer's unsent batch plus the line being emitted.
    constexpr int32_t kCount = kProducers * kBatch + 8;
    constexpr uint32_t kSize = 160;
    constexpr int kPaced = 1600;
    constexpr int kBurst = 2000;
    alignas(8) static unsigned char ring[kCount * kSize];
    SetDebugOutput(collect_sequences);
    SetDebugSwitch(1);  // every dropped line leaves a warning to count
    SetDebugQueue(ring, kCount, kSize);
    uint32_t ids[kProducers];

    // Paced: a producer waits for its own lines after each batch, so the
    // ring never fills and every line must come out exactly once, while
    // the producers still contend for the slots and wrap the ring often.
    StdoutCapture capture;
    std::vector<std::thread> producers;
    for (int t = 0; t < kProducers; ++t) {
      ids[t] = 0;
      producers.emplace_back([t, &ids] {
        ids[t] = static_cast<uint32_t>(gettid());
        for (int i = 0; i < kPaced; ++i) {
          infolog_t("mp", "%d %d", t, i);
          if ((i + 1) % kBatch == 0) {
            ASSERT_TRUE(wait_until_out(t, i + 1));
          }
        }
      });
    }
    for (std::thread &p : producers) p.join();
    EXPECT_EQ(capture.stop(), "");
    EXPECT_EQ(check_sequences(emitted(), 0, ids, true), size_t{kProducers} * kPaced);

    // Free-running: lines may be dropped, but each drop is warned once and
    // every accepted line still comes out once and in order.
    const size_t before = emitted().size();
    StdoutCapture burst;
    producers.clear();
    for (int t = 0; t < kProducers; ++t) {
      producers.emplace_back([t, &ids] {
        ids[t] = static_cast<uint32_t>(gettid());
        for (int i = 0; i < kBurst; ++i) infolog_t("mp", "%d %d", t, i);
      });
    }
    for (std::thread &p : producers) p.join();
    std::string out = burst.stop();
    const size_t dropped = count_of(out, kOverload);
    EXPECT_EQ(out.size(), dropped * strlen(kOverload));
    const size_t accepted = size_t{kProducers} * kBurst - dropped;
    ASSERT_TRUE(wait_for_lines(before + accepted));
    EXPECT_EQ(check_sequences(emitted(), before, ids, false), accepted);
  });
}

TEST(DebugQueue, FullRingDropsTheNewLineAndWarnsOnlyWithTheSwitchOn) {
  run_in_child([] {
    alignas(8) static unsigned char ring[2 * 128];
    SetDebugOutput(collect);
    SetDebugQueue(ring, 2, 128);
    set_gate(true);
    infolog_t("q", "A");
    ASSERT_TRUE(wait_for_lines(1));  // the writer now holds A inside the output

    StdoutCapture capture;
    SetDebugSwitch(1);
    infolog_t("q", "B");  // fills the second slot
    infolog_t("q", "C");  // ring full: dropped, warned
    SetDebugSwitch(0);
    infolog_t("q", "D");  // dropped silently
    std::string out = capture.stop();
    EXPECT_EQ(out, kOverload);

    set_gate(false);
    ASSERT_TRUE(wait_for_lines(2));
    infolog_t("q", "E");
    ASSERT_TRUE(wait_for_lines(3));
    std::vector<Emitted> lines = emitted();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(parse(lines[0].text).message, "A\r\n");
    EXPECT_EQ(parse(lines[1].text).message, "B\r\n");
    EXPECT_EQ(parse(lines[2].text).message, "E\r\n");
  });
}

int32_t failing_start(ThreadCtl *ctl, int32_t, ThreadRoutine, void *) {
  ctl->handle = 0;
  return -1;
}

TEST(DebugQueue, WriterThatCannotStartIsReportedAndLeavesTheQueueInactive) {
  run_in_child([] {
    alignas(8) static unsigned char ring[4 * 128];
    const uint32_t me = static_cast<uint32_t>(gettid());
    SetDebugOutput(collect);
    quorvel::detail::DebugQueueThreadStarter saved = quorvel::detail::g_debug_queue_thread_starter;
    quorvel::detail::g_debug_queue_thread_starter = failing_start;
    SetDebugQueue(ring, 4, 128);
    // Reported directly on this thread, since the queue is inactive again.
    ASSERT_EQ(emitted().size(), 1u);
    Parsed report = parse(emitted()[0].text);
    EXPECT_EQ(report.level, 'E');
    EXPECT_EQ(report.tag, "quorvel");
    EXPECT_EQ(report.message, "SetDebugQueue() failed !!\r\n");
    infolog_t("q", "still direct");
    ASSERT_EQ(emitted().size(), 2u);
    EXPECT_EQ(emitted()[1].emitting_thread, me);
    EXPECT_TRUE(all_zero(ring, sizeof ring));

    // Not active, so a later call may start it.
    quorvel::detail::g_debug_queue_thread_starter = saved;
    SetDebugQueue(ring, 4, 128);
    infolog_t("q", "queued");
    ASSERT_TRUE(wait_for_lines(3));
    EXPECT_NE(emitted()[2].emitting_thread, me);
    EXPECT_EQ(parse(emitted()[2].text).message, "queued\r\n");
  });
}

// Lines carry the id the queue keeps per thread; a forked child must not
// inherit its parent's.
TEST(DebugQueue, KeptThreadIdsAreRightInThreadsAndAfterFork) {
  const uint32_t parent = quorvel::platform::cached_thread_id();
  EXPECT_EQ(parent, static_cast<uint32_t>(gettid()));
  uint32_t other = 0;
  std::thread([&other] { other = quorvel::platform::cached_thread_id(); }).join();
  EXPECT_NE(other, parent);
  run_in_child([parent] {
    EXPECT_NE(quorvel::platform::cached_thread_id(), parent);
    EXPECT_EQ(quorvel::platform::cached_thread_id(), static_cast<uint32_t>(gettid()));
  });
  EXPECT_EQ(quorvel::platform::cached_thread_id(), parent);
}

}  // namespace
