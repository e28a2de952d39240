// The debug queue starts once per process, so every case runs in a child process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.hpp"
#include "quorvel/trace.h"
#include "support/child_process.hpp"
#include "trace_capture.hpp"

namespace {

using qrvl_test::run_in_child;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr const char kOverload[] = "warning: debug queue is overloading\r\n";

struct Emitted {
  std::string text;
  uint32_t emitting_thread;
};

// Records each line and its emitting thread; a closed gate holds the writer here.
std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<Emitted> g_emitted;
bool g_gate_closed = false;

void collect(const char *line, int32_t length) {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_emitted.push_back({std::string(line, static_cast<size_t>(length)), trace_test::tid()});
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

// "[I][MM-DD hh:mm:ss.mmm][tid] {tag} message" without its stamp: "[I][tid] {tag} message".
std::string unstamped(const std::string &line) {
  return line.size() < 23 ? line : line.substr(0, 3) + line.substr(23);
}

// The message after the "{tag} " of a line.
std::string message_of(const std::string &line) { return line.substr(line.find("} ") + 2); }

bool all_zero(const unsigned char *p, size_t n) {
  return std::all_of(p, p + n, [](unsigned char c) { return c == 0; });
}

TEST(DebugQueue, MovesEmittingToOneWriterInOrder) {
  run_in_child([] {
    constexpr int32_t kCount = 8;
    constexpr uint32_t kSize = 256;
    alignas(8) static unsigned char ring[kCount * kSize];
    alignas(8) static unsigned char other[kCount * kSize];
    const uint32_t me = trace_test::tid();
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
    const std::string caller = "[" + std::to_string(me) + "] ";  // not the writer's id
    EXPECT_EQ(unstamped(lines[1].text), "[I]" + caller + "{t} queued 2\r\n");
    EXPECT_EQ(unstamped(lines[2].text), "[I]" + caller + "{ktrace} second");

    // Slot layout is shared with the caller; slot 0 is free once slot 1 came out.
    TraceLine head;
    memcpy(&head, ring, sizeof head);
    EXPECT_EQ(head.in_use, 0u);
    EXPECT_EQ(head.thread_id, me);
    EXPECT_STREQ(head.tag, "t");
    EXPECT_STREQ(reinterpret_cast<const char *>(ring + kSize + sizeof(TraceLine)), "second");
    EXPECT_TRUE(all_zero(other, sizeof other));

    // A null format, an empty message and one the formatter cannot write (a
    // wide character outside the C locale) each still give a line.
    void (*unchecked_infolog_w)(const char *, ...) = infolog_w;
    unchecked_infolog_w(nullptr);
    kLOGI("%s", "");
    unchecked_infolog_w("%ls", L"\u4e00");
    ASSERT_TRUE(wait_for_lines(6));
    lines = emitted();
    EXPECT_EQ(unstamped(lines[3].text), "[I]" + caller + "\r\n");
    EXPECT_EQ(unstamped(lines[4].text), "[I]" + caller + "{ktrace} ");
    EXPECT_EQ(unstamped(lines[5].text), "[I]" + caller + "\r\n");
  });
}

// A slot's text area bounds the message (not the trace line's 1024); slots
// need not be aligned, and the last byte of each is never written.
TEST(DebugQueue, SlotSizeCutsTheMessage) {
  for (uint32_t room : {1u, 6u, 1500u, 3000u}) {
    run_in_child([room] {
      constexpr int32_t kCount = 3;
      const uint32_t size = static_cast<uint32_t>(sizeof(TraceLine)) + room;
      static unsigned char storage[kCount * (sizeof(TraceLine) + 3000) + 2];
      unsigned char *ring = storage + 1;
      SetDebugOutput(collect);
      SetDebugQueue(ring, kCount, size);
      std::string text(2500, '-');
      for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
      for (int i = 0; i < 2 * kCount + 1; ++i) {
        warnlog_t("cut", "%d-%s", i, text.c_str());
        ASSERT_TRUE(wait_for_lines(static_cast<size_t>(i) + 1));
      }
      std::vector<Emitted> lines = emitted();
      for (size_t i = 0; i < lines.size() && room < 1000; ++i) {
        std::string full = std::to_string(i) + "-" + text;
        EXPECT_EQ(message_of(lines[i].text), full.substr(0, room - 1) + "\r\n");
      }
      const std::string last = std::to_string(2 * kCount) + "-" + text;
      EXPECT_EQ(std::string(reinterpret_cast<const char *>(ring + sizeof(TraceLine))),
                last.substr(0, room - 1));
      for (int s = 0; s < kCount; ++s) EXPECT_EQ(ring[(s + 1) * size - 1], 0);
      EXPECT_EQ(storage[kCount * size + 1], 0);  // nothing past the ring
    });
  }
}

// Producers run free over a small ring, so it wraps and fills: every drop is
// warned once, and the accepted lines of each producer come out once, in order.
TEST(DebugQueue, ManyProducersKeepTheirOrderAndLoseNothingAccepted) {
  run_in_child([] {
    constexpr int kProducers = 4, kLines = 2000;
    constexpr int32_t kCount = 16;
    alignas(8) static unsigned char ring[kCount * 160];
    SetDebugOutput(collect);
    SetDebugSwitch(1);
    SetDebugQueue(ring, kCount, 160);
    uint32_t ids[kProducers] = {};
    CaptureStdout();
    std::vector<std::thread> producers;
    for (int t = 0; t < kProducers; ++t)
      producers.emplace_back([t, &ids] {
        ids[t] = trace_test::tid();
        for (int i = 0; i < kLines; ++i) infolog_t("mp", "%d %d", t, i);
      });
    for (std::thread &p : producers) p.join();
    const std::string out = GetCapturedStdout();
    const size_t dropped = out.size() / strlen(kOverload);
    std::string warnings;
    for (size_t i = 0; i < dropped; ++i) warnings += kOverload;
    EXPECT_EQ(out, warnings);
    ASSERT_TRUE(wait_for_lines(size_t{kProducers} * kLines - dropped));
    int last[kProducers] = {-1, -1, -1, -1};
    for (const Emitted &line : emitted()) {
      int t = -1, i = -1;
      uint32_t id = 0;
      if (sscanf(unstamped(line.text).c_str(), "[I][%u] {mp} %d %d", &id, &t, &i) != 3 || t < 0 ||
          t >= kProducers || id != ids[t] || i <= last[t]) {
        ADD_FAILURE() << "lost, repeated or reordered: " << line.text;
        break;
      }
      last[t] = i;
    }
    EXPECT_EQ(emitted().size(), size_t{kProducers} * kLines - dropped);
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

    CaptureStdout();
    SetDebugSwitch(1);
    infolog_t("q", "B");  // fills the second slot
    infolog_t("q", "C");  // ring full: dropped, warned
    SetDebugSwitch(0);
    infolog_t("q", "D");  // dropped silently
    EXPECT_EQ(GetCapturedStdout(), kOverload);

    set_gate(false);
    ASSERT_TRUE(wait_for_lines(2));
    infolog_t("q", "E");
    ASSERT_TRUE(wait_for_lines(3));
    std::string messages;
    for (const Emitted &line : emitted()) messages += message_of(line.text);
    EXPECT_EQ(messages, "A\r\nB\r\nE\r\n");
  });
}

TEST(DebugQueue, WriterThatCannotStartIsReportedAndLeavesTheQueueInactive) {
  run_in_child([] {
    alignas(8) static unsigned char ring[4 * 128];
    const uint32_t me = trace_test::tid();
    SetDebugOutput(collect);
    // The system refuses the writer thread itself.
    quorvel::platform::fail_thread_starts(1);
    SetDebugQueue(ring, 4, 128);
    // Reported directly, since the queue is inactive again.
    ASSERT_EQ(emitted().size(), 1u);
    EXPECT_EQ(unstamped(emitted()[0].text),
              "[E][" + std::to_string(me) + "] {quorvel} SetDebugQueue() failed !!\r\n");
    infolog_t("q", "still direct");
    ASSERT_EQ(emitted().size(), 2u);
    EXPECT_EQ(emitted()[1].emitting_thread, me);
    EXPECT_TRUE(all_zero(ring, sizeof ring));

    // Not active, so a later call may start it.
    SetDebugQueue(ring, 4, 128);
    infolog_t("q", "queued");
    ASSERT_TRUE(wait_for_lines(3));
    EXPECT_NE(emitted()[2].emitting_thread, me);
    EXPECT_EQ(message_of(emitted()[2].text), "queued\r\n");
  });
}

}  // namespace
