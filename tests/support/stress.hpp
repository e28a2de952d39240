// Time bounds of the stress tests.  A storm runs for QRVL_STRESS_SECONDS
// (the ThreadSanitizer run of CI sets it; unset, 1 s, so the ordinary suite
// stays quick), scaled by the test's share of it.  A watchdog thread ends
// the process, naming the test, when the test is still running
// kStressGraceSeconds after its storm should have ended: a deadlock or a
// lost wake-up fails the run instead of hanging it.  Threads count faults
// in a FaultLog and the test checks it once they are joined.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qrvl_test {

constexpr int kStressGraceSeconds = 60;

inline double stress_seconds(double share) {
  const char *text = std::getenv("QRVL_STRESS_SECONDS");
  const double seconds = text != nullptr ? std::atof(text) : 0.0;
  return (seconds > 0 ? seconds : 1.0) * share;
}

class StressRun {
 public:
  explicit StressRun(double share = 1.0)
      : seconds_(stress_seconds(share)),
        end_(std::chrono::steady_clock::now() +
             std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                 std::chrono::duration<double>(seconds_))),
        watchdog_([this] { watch(); }) {}

  ~StressRun() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    changed_.notify_all();
    watchdog_.join();
  }

  StressRun(const StressRun &) = delete;
  StressRun &operator=(const StressRun &) = delete;

  // True while the storm goes on; the threads of the storm poll it.
  bool running() const { return std::chrono::steady_clock::now() < end_; }

  // Seconds a child process running this test needs at most.
  static int child_bound(double share = 1.0) {
    return static_cast<int>(stress_seconds(share)) + kStressGraceSeconds + 30;
  }

 private:
  void watch() {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name =
        info ? std::string(info->test_suite_name()) + "." + info->name() : "a stress test";
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_until(lock, end_ + std::chrono::seconds(kStressGraceSeconds),
                            [this] { return finished_; }))
      return;
    std::fprintf(stderr,
                 "stress watchdog: %s is still running %d s after its %.1f s storm: "
                 "deadlocked or a wake-up was lost\n",
                 name.c_str(), kStressGraceSeconds, seconds_);
    std::fflush(stderr);
    std::abort();
  }

  const double seconds_;
  const std::chrono::steady_clock::time_point end_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  std::thread watchdog_;  // last: starts once the fields above are set
};

// Faults seen by the threads of a storm: how many, and the first one told.
class FaultLog {
 public:
  void add(const std::string &what) {
    if (count_.fetch_add(1) == 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      first_ = what;
    }
  }
  // Adds a fault unless ok; returns ok.
  bool check(bool ok, const char *what) {
    if (!ok) add(what);
    return ok;
  }
  uint64_t count() const { return count_.load(); }
  std::string first() {
    std::lock_guard<std::mutex> lock(mutex_);
    return first_;
  }

 private:
  std::atomic<uint64_t> count_{0};
  std::mutex mutex_;
  std::string first_;
};

#define QRVL_EXPECT_NO_FAULTS(log) EXPECT_EQ((log).count(), 0u) << "first fault: " << (log).first()

// Runs body(0) .. body(n - 1) on n threads and joins them.
template <typename Body>
void on_threads(int n, Body body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t) threads.emplace_back(body, t);
  for (std::thread &thread : threads) thread.join();
}

// Sleeps a little at a time until done() holds, without limit (the
// watchdog ends a wait that never ends) or for at most half the grace, so
// that the test can still tell how far it got; false then.
template <typename Done>
bool wait_until(Done done, bool bounded = false) {
  const auto give_up =
      std::chrono::steady_clock::now() + std::chrono::seconds(kStressGraceSeconds / 2);
  while (!done()) {
    if (bounded && std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A small fast generator per thread (xorshift32).
struct Rng {
  uint32_t state;
  explicit Rng(uint32_t seed) : state(seed * 2654435761u + 0x9e3779b9u) {}
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  uint32_t below(uint32_t n) { return next() % n; }
};

}  // namespace qrvl_test
