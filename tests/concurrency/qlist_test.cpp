// QList: workers, ring growth in order, shutdown, short memory, many producers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.hpp"
#include "quorvel.h"
#include "support/alloc_fault.hpp"

namespace {

using namespace std::chrono_literals;

// What the callbacks saw, plus a gate holding the worker inside a callback.
struct Sink {
  std::mutex m;
  std::condition_variable cv;
  std::vector<uint32_t> values;
  std::vector<std::string> texts;
  std::vector<void *> contexts, users;
  bool gate_closed = false;
  bool in_gate = false;

  void set_gate(bool closed) {
    std::lock_guard<std::mutex> lock(m);
    gate_closed = closed;
    cv.notify_all();
  }
  template <typename Done>
  bool wait(Done done) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, 30s, done);
  }
  bool wait_in_gate() { return wait([&] { return in_gate; }); }
  bool wait_count(size_t n) { return wait([&] { return values.size() >= n; }); }
  size_t count() {
    std::lock_guard<std::mutex> lock(m);
    return values.size();
  }
};

// Messages carry NUL-terminated text, except values from kNoText up.
constexpr uint32_t kNoText = 1000;

int32_t collect(void *context, uint32_t value, void *bytes, void *user) {
  Sink *sink = static_cast<Sink *>(user);
  std::unique_lock<std::mutex> lock(sink->m);
  sink->values.push_back(value);
  sink->texts.emplace_back(!bytes             ? "(null)"
                           : value >= kNoText ? ""
                                              : static_cast<const char *>(bytes));
  sink->contexts.push_back(context);
  sink->users.push_back(user);
  sink->in_gate = true;
  sink->cv.notify_all();
  sink->cv.wait(lock, [&] { return !sink->gate_closed; });
  sink->in_gate = false;
  return 0;
}

void post_text(QList *q, const std::string &text, uint32_t value) {
  QListPost(q, text.c_str(), static_cast<int32_t>(text.size() + 1), value);
}

// Starts one worker and holds it in the callback for the first message, the ring empty.
bool hold_worker(QList *q, Sink *sink, const std::string &text, uint32_t value) {
  QListInit(q, collect, sink, nullptr, 1, 0);
  sink->set_gate(true);
  post_text(q, text, value);
  return sink->wait_in_gate();
}

TEST(QList, InitClampsWorkersAndIgnoresASecondInit) {
  Sink sink;
  QList q;
  std::memset(&q, 0, sizeof q);
  QListInit(&q, collect, &sink, &q, 0, -1);
  EXPECT_EQ(q.worker_count, 1u);
  Sink other;
  QListInit(&q, nullptr, &other, nullptr, 5, 0);  // changes nothing
  EXPECT_EQ(q.worker_count, 1u);
  post_text(&q, "one", 1);
  ASSERT_TRUE(sink.wait_count(1));
  EXPECT_EQ(sink.texts[0], "one");
  EXPECT_EQ(sink.contexts[0], &q);
  EXPECT_EQ(sink.users[0], &sink);
  QListFree(&q);
  QListFree(&q);  // already freed: nothing happens
  post_text(&q, "late", 2);  // not initialised: dropped
  EXPECT_EQ(sink.count(), 1u);

  QListInit(&q, collect, &sink, nullptr, 25, 64 * 1024);
  EXPECT_EQ(q.worker_count, 10u);
  for (const ThreadCtl &t : q.workers) EXPECT_NE(t.handle, 0u);
  QListFree(&q);

  QList never;
  std::memset(&never, 0x5a, sizeof never);  // garbage, never initialised
  QListFree(&never);
  QListFree(nullptr);
  QListPost(nullptr, "x", 1, 0);
}

TEST(QList, RingGrowsByTenAndKeepsPostingOrder) {
  Sink sink;
  QList q{};
  ASSERT_TRUE(hold_worker(&q, &sink, "m0", 0));
  for (uint32_t i = 1; i <= 21; ++i) post_text(&q, "m" + std::to_string(i), i);
  EXPECT_EQ(q.capacity, 30u);
  // Zero bytes are delivered; a NULL pointer or a negative length are not.
  QListPost(&q, "", 0, kNoText);
  QListPost(&q, nullptr, 0, 99);
  QListPost(&q, "abc", -1, 98);
  EXPECT_EQ(q.count, 22u);
  sink.set_gate(false);
  ASSERT_TRUE(sink.wait_count(23));
  QListFree(&q);
  for (uint32_t i = 0; i <= 22; ++i) {
    EXPECT_EQ(sink.values[i], i < 22 ? i : kNoText);
    EXPECT_EQ(sink.texts[i], i < 22 ? "m" + std::to_string(i) : "");
  }
}

TEST(QList, FreeDiscardsQueuedMessagesWithoutCallingBack) {
  qrvl_test::AllocFault counter;
  Sink sink;
  QList q{};
  ASSERT_TRUE(hold_worker(&q, &sink, "held", 0));
  for (uint32_t i = 1; i <= 15; ++i) post_text(&q, "queued", i);  // grows once
  std::thread freer([&] { QListFree(&q); });
  // Let the worker out only after the stop flag is up.
  while (__atomic_load_n(&q.stop, __ATOMIC_ACQUIRE) == 0) std::this_thread::yield();
  sink.set_gate(false);
  freer.join();
  EXPECT_EQ(sink.values, std::vector<uint32_t>{0});
  // 16 messages and one grown ring, all returned.
  EXPECT_EQ(counter.mallocs(), 17);
  EXPECT_EQ(counter.frees(), 17);
}

TEST(QList, WithoutACallbackMessagesAreConsumedAndFreed) {
  qrvl_test::AllocFault counter;
  QList q{};
  QListInit(&q, nullptr, nullptr, nullptr, 2, 0);
  // One at a time, so the ring never grows: each free is a consumed message.
  for (int i = 1; i <= 20; ++i) {
    post_text(&q, "x", static_cast<uint32_t>(i));
    for (int spin = 0; spin < 30000 && counter.frees() < i; ++spin) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(counter.frees(), i);
  }
  QListFree(&q);
  EXPECT_EQ(counter.mallocs(), 20);
}

// Allocation n of a burst that grows the ring twice fails, and every one
// after it: the messages before it arrive in order, a later post with memory
// back arrives after them, and nothing is left behind.
TEST(QList, EachFailedAllocationDropsItsMessageAndNothingElse) {
  constexpr uint32_t kPosts = 25;  // the ring grows from 10 to 20 to 30
  qrvl_test::AllocFault fault;
  std::unique_ptr<Sink> sink;
  QList q{};
  std::vector<uint32_t> expected;
  const int rounds = fault.sweep(
      [&](int n) {
        sink = std::make_unique<Sink>();
        q = QList{};
        fault.fail_after(-1);
        ASSERT_TRUE(hold_worker(&q, sink.get(), "held", 0));  // the ring is empty
        fault.fail_after(n);
        for (uint32_t i = 1; i <= kPosts; ++i) post_text(&q, "m", i);
        // One block per copy, one more per growth; the first refusal drops
        // its message, and so does every post after it.
        expected = {0};
        for (uint32_t i = 1, left = static_cast<uint32_t>(n), room = 10; i <= kPosts; ++i) {
          const uint32_t needs = expected.size() - 1 == room ? 2 : 1;
          if (left < needs) break;
          left -= needs;
          room += needs == 2 ? 10 : 0;
          expected.push_back(i);
        }
      },
      [&] {
        post_text(&q, "after", 99);
        expected.push_back(99);
        sink->set_gate(false);
        ASSERT_TRUE(sink->wait_count(expected.size()));
        QListFree(&q);
        EXPECT_EQ(sink->values, expected);
      });
  EXPECT_EQ(rounds, static_cast<int>(kPosts) + 3);
}

// The first workers' starts are refused: the others serve the queue; with
// none the messages wait and are discarded by QListFree.
TEST(QList, WorkersThatCannotStartAreSkipped) {
  qrvl_test::AllocFault fault;
  for (uint32_t refused : {3u, 2u, 0u}) {
    Sink sink;
    QList q{};
    quorvel::platform::fail_thread_starts(refused);
    QListInit(&q, collect, &sink, nullptr, 3, 0);
    quorvel::platform::fail_thread_starts(0);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(q.workers[i].handle != 0, i >= refused) << i;
    for (uint32_t i = 1; i <= 5; ++i) post_text(&q, "m", i);
    if (refused < 3) {
      ASSERT_TRUE(sink.wait_count(5));
      std::sort(sink.values.begin(), sink.values.end());
      EXPECT_EQ(sink.values, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    } else {
      EXPECT_EQ(q.count, 5u);
    }
    QListFree(&q);
    EXPECT_EQ(fault.mallocs(), fault.frees()) << refused;
  }
  // A null q starts nothing: the refused start is left for the next queue.
  quorvel::platform::fail_thread_starts(1);
  QListInit(nullptr, collect, nullptr, nullptr, 1, 0);
  QList q{};
  QListInit(&q, nullptr, nullptr, nullptr, 1, 0);
  quorvel::platform::fail_thread_starts(0);
  EXPECT_EQ(q.workers[0].handle, 0u);
  QListFree(&q);
}

struct Tally {
  static constexpr uint32_t kProducers = 4, kPerProducer = 5000, kTotal = kProducers * kPerProducer;
  std::atomic<uint32_t> seen[kTotal + 1];
  std::atomic<uint32_t> bad{0}, delivered{0};
  QList *q;
};

int32_t tally(void *context, uint32_t value, void *bytes, void *) {
  Tally *t = static_cast<Tally *>(context);
  uint32_t echoed;
  std::memcpy(&echoed, bytes, sizeof echoed);
  if (echoed != value) t->bad.fetch_add(1);
  // A callback may post to its own QList: every 1000th value comes once more as extra.
  if (value % 1000 == 0 && value != 0 && value < Tally::kTotal) {
    uint32_t extra = Tally::kTotal;
    QListPost(t->q, &extra, sizeof extra, extra);
  }
  t->seen[value].fetch_add(1);
  t->delivered.fetch_add(1);
  return 0;
}

TEST(QList, SeveralProducersNothingLostNothingTwice) {
  for (uint32_t workers : {1u, 3u}) {
    Tally t;
    for (auto &s : t.seen) s.store(0);
    QList q{};
    t.q = &q;
    QListInit(&q, tally, nullptr, &t, workers, 0);
    std::vector<std::thread> producers;
    for (uint32_t p = 0; p < Tally::kProducers; ++p) {
      producers.emplace_back([&, p] {
        for (uint32_t i = 0; i < Tally::kPerProducer; ++i) {
          uint32_t value = p * Tally::kPerProducer + i;
          QListPost(&q, &value, sizeof value, value);
        }
      });
    }
    for (auto &p : producers) p.join();
    const uint32_t total = Tally::kTotal, extras = total / 1000 - 1;
    for (int spin = 0; spin < 60000 && t.delivered.load() < total + extras; ++spin)
      std::this_thread::sleep_for(1ms);
    QListFree(&q);
    EXPECT_EQ(t.bad.load(), 0u);
    for (uint32_t v = 0; v < total; ++v) ASSERT_EQ(t.seen[v].load(), 1u) << v;
    EXPECT_EQ(t.seen[total].load(), extras);
  }
}

}  // namespace
