// Installs counting allocation hooks for one test scope and lets the test
// make the n-th following allocation (and every one after it) fail.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "common/alloc_hook.hpp"

namespace qrvl_test {

class AllocFault {
 public:
  AllocFault() {
    mallocs_ = 0;
    frees_ = 0;
    refused_ = 0;
    budget_ = -1;
    quorvel::detail::AllocHooks hooks{&fault_malloc, &counting_free};
    previous_ = quorvel::detail::set_alloc_hooks(&hooks);
  }
  ~AllocFault() { quorvel::detail::set_alloc_hooks(&previous_); }
  AllocFault(const AllocFault &) = delete;
  AllocFault &operator=(const AllocFault &) = delete;

  // The next n allocations succeed, the ones after fail; -1 never fails.
  void fail_after(int n) { budget_ = n; }
  int mallocs() const { return mallocs_; }
  int frees() const { return frees_; }
  // Allocations made to fail so far.
  int refused() const { return refused_; }

  // Runs faulty(n) with allocation n failing for n = 0, 1, 2, ... until a run
  // meets no injected failure, each time followed by afterwards() with
  // failures off (the library must still work).  After every round all
  // blocks handed out must have come back.  Returns the rounds run, the
  // last of them without a failure.
  template <typename Faulty, typename Afterwards>
  int sweep(Faulty faulty, Afterwards afterwards, int most = 1000) {
    for (int n = 0; n < most; ++n) {
      mallocs_ = frees_ = refused_ = 0;
      fail_after(n);
      faulty(n);
      fail_after(-1);
      const bool failed = refused_ > 0;
      afterwards();
      EXPECT_EQ(mallocs_, frees_) << "with allocation " << n << " failing";
      if (!failed) return n + 1;
    }
    ADD_FAILURE() << "still failing after " << most << " rounds";
    return most;
  }

 private:
  static void *fault_malloc(size_t size) {
    int left = budget_.load();
    while (left > 0 && !budget_.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0) {
      ++refused_;
      return nullptr;
    }
    ++mallocs_;
    return std::malloc(size);
  }
  static void counting_free(void *block) {
    ++frees_;
    std::free(block);
  }
  static inline std::atomic<int> mallocs_{0};
  static inline std::atomic<int> frees_{0};
  static inline std::atomic<int> refused_{0};
  static inline std::atomic<int> budget_{-1};
  quorvel::detail::AllocHooks previous_{};
};

}  // namespace qrvl_test
