// QList throughput against a std::mutex + std::condition_variable +
// std::deque queue whose workers do the same copy and callback: one
// producer, 64-byte messages, 1, 2 and 4 workers.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "quorvel.h"

namespace {

constexpr int kBatch = 20000;
constexpr int kMessageBytes = 64;

struct Counter {
  std::atomic<uint64_t> delivered{0};
  std::atomic<uint64_t> checksum{0};
  std::atomic<bool> held{false};  // the first callback waits while set
};

int32_t count_message(void *context, uint32_t value, void *bytes, void *) {
  auto *c = static_cast<Counter *>(context);
  while (c->held.load(std::memory_order_acquire)) std::this_thread::yield();
  c->checksum.fetch_add(value + static_cast<const uint8_t *>(bytes)[0], std::memory_order_relaxed);
  c->delivered.fetch_add(1, std::memory_order_release);
  return 0;
}

void wait_for(const Counter &c, uint64_t target) {
  while (c.delivered.load(std::memory_order_acquire) < target) std::this_thread::yield();
}

void BM_qlist_throughput(benchmark::State &state) {
  Counter counter;
  QList q{};
  QListInit(&q, count_message, nullptr, &counter, static_cast<uint32_t>(state.range(0)), 0);
  uint8_t message[kMessageBytes];
  std::memset(message, 7, sizeof message);
  // One untimed batch first, posted while the worker is held in the
  // callback: the ring grows (by ten nodes at a time) to hold a whole
  // batch once per QList, and keeps that size, so no timed post grows it.
  counter.held.store(true);
  for (int i = 0; i < kBatch; ++i) QListPost(&q, message, kMessageBytes, static_cast<uint32_t>(i));
  counter.held.store(false);
  uint64_t target = kBatch;
  wait_for(counter, target);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) QListPost(&q, message, kMessageBytes, static_cast<uint32_t>(i));
    target += kBatch;
    wait_for(counter, target);
  }
  state.counters["ring"] = q.capacity;  // nodes the deepest backlog needed
  QListFree(&q);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
}

// The queue a caller would write with the standard library.
class StdQueue {
 public:
  StdQueue(int workers, Counter *counter) : counter_(counter) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { run(); });
  }
  ~StdQueue() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    cv_.notify_all();
    for (auto &t : threads_) t.join();
    for (void *message : queue_) std::free(message);
  }
  void post(const void *bytes, int length, uint32_t value) {
    auto *message = static_cast<uint8_t *>(std::calloc(1, static_cast<size_t>(length) + 4));
    if (!message) return;
    std::memcpy(message, &value, 4);
    std::memcpy(message + 4, bytes, static_cast<size_t>(length));
    {
      std::lock_guard<std::mutex> lock(m_);
      queue_.push_back(message);
    }
    cv_.notify_one();
  }

 private:
  void run() {
    for (;;) {
      void *message;
      {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        message = queue_.front();
        queue_.pop_front();
      }
      uint32_t value;
      std::memcpy(&value, message, 4);
      count_message(counter_, value, static_cast<uint8_t *>(message) + 4, nullptr);
      std::free(message);
    }
  }
  Counter *counter_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<void *> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

void BM_std_queue_throughput(benchmark::State &state) {
  Counter counter;
  StdQueue q(static_cast<int>(state.range(0)), &counter);
  uint8_t message[kMessageBytes];
  std::memset(message, 7, sizeof message);
  counter.held.store(true);  // the same untimed batch as for QList
  for (int i = 0; i < kBatch; ++i) q.post(message, kMessageBytes, static_cast<uint32_t>(i));
  counter.held.store(false);
  uint64_t target = kBatch;
  wait_for(counter, target);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) q.post(message, kMessageBytes, static_cast<uint32_t>(i));
    target += kBatch;
    wait_for(counter, target);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
}

BENCHMARK(BM_qlist_throughput)->Arg(1)->Arg(2)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_queue_throughput)->Arg(1)->Arg(2)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
