// The debug queue against spdlog's asynchronous logger.  The queue can be
// started only once per process, hence this program of its own.
//
// Caller side: each timed batch of lines fits the ring (or spdlog's queue),
// and the timer stands still while the writer drains it, so what is timed
// is the trace call alone, never a full ring.  End to end: a burst of half
// a ring of lines, from the first call until the last line has reached the
// discarding output (or sink).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "quorvel/trace.h"

#ifdef QRVL_BENCH_HAVE_SPDLOG
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>
#endif

namespace {

constexpr int kBatch = 1024;  // lines per timed batch and thread
constexpr int kRing = 8192;   // queue slots, and spdlog's queue length
constexpr uint32_t kSlotSize = 256;
// Lines per end-to-end burst.  Half the ring: the slot of the last line of
// a burst is freed just after that line reaches the output, so a burst as
// large as the ring could find it still taken.
constexpr int kBurst = kRing / 2;

// Lines out so far, and the count at which the output side wakes the
// benchmark thread (only then, so that counting costs no system call).
struct Progress {
  std::atomic<uint32_t> out{0};
  std::atomic<uint32_t> sent{0};
  std::atomic<uint32_t> wake_at{0};

  void one_out() {
    uint32_t n = out.fetch_add(1) + 1;  // seq_cst on both sides: no lost wake-up
    if (n == wake_at.load()) out.notify_all();
  }
  // Counts n more lines as sent and waits until all sent lines are out.
  void drain_after(uint32_t n) {
    uint32_t target = sent.fetch_add(n) + n;
    uint32_t wake = wake_at.load(std::memory_order_relaxed);
    while (wake < target && !wake_at.compare_exchange_weak(wake, target)) {
    }
    for (uint32_t c = out.load(std::memory_order_acquire); c < target;
         c = out.load(std::memory_order_acquire))
      out.wait(c, std::memory_order_acquire);
  }
};

Progress g_queue_progress;

void discard(const char *, int32_t) {
  g_queue_progress.one_out();
}

void start_queue_once() {
  static bool started = [] {
    SetDebugOutput(discard);
    SetDebugQueue(calloc(kRing, kSlotSize), kRing, kSlotSize);
    return true;
  }();
  (void)started;
}

void BM_QueueCaller(benchmark::State &state) {
  start_queue_once();
  int i = 0;
  for (auto _ : state) {
    for (int k = 0; k < kBatch; ++k) infolog_t("bench", "value %d of %s", i++, "the sample");
    state.PauseTiming();
    g_queue_progress.drain_after(kBatch);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_QueueCaller)->Threads(1)->Threads(2)->UseRealTime();

void BM_QueueEndToEnd(benchmark::State &state) {
  start_queue_once();
  int i = 0;
  for (auto _ : state) {
    for (int k = 0; k < kBurst; ++k) infolog_t("bench", "value %d of %s", i++, "the sample");
    g_queue_progress.drain_after(kBurst);
  }
  state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_QueueEndToEnd)->UseRealTime();

#ifdef QRVL_BENCH_HAVE_SPDLOG

Progress g_spd_progress;

// A null sink that only counts, so that the benchmark can wait for it.
class CountingSink : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
 protected:
  void sink_it_(const spdlog::details::log_msg &) override { g_spd_progress.one_out(); }
  void flush_() override {}
};

spdlog::async_logger &spd_logger() {
  static std::shared_ptr<spdlog::details::thread_pool> pool =
      std::make_shared<spdlog::details::thread_pool>(kRing, 1);
  static std::shared_ptr<spdlog::async_logger> logger = std::make_shared<spdlog::async_logger>(
      "bench", std::make_shared<CountingSink>(), pool, spdlog::async_overflow_policy::block);
  return *logger;
}

void BM_SpdlogCaller(benchmark::State &state) {
  spdlog::async_logger &logger = spd_logger();
  int i = 0;
  for (auto _ : state) {
    for (int k = 0; k < kBatch; ++k) logger.info("value {} of {}", i++, "the sample");
    state.PauseTiming();
    g_spd_progress.drain_after(kBatch);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_SpdlogCaller)->Threads(1)->Threads(2)->UseRealTime();

void BM_SpdlogEndToEnd(benchmark::State &state) {
  spdlog::async_logger &logger = spd_logger();
  int i = 0;
  for (auto _ : state) {
    for (int k = 0; k < kBurst; ++k) logger.info("value {} of {}", i++, "the sample");
    g_spd_progress.drain_after(kBurst);
  }
  state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_SpdlogEndToEnd)->UseRealTime();

#endif

}  // namespace

BENCHMARK_MAIN();
