// The word wait on Windows: WaitOnAddress, with deadlines on the
// performance counter (monotonic, unaffected by the wall clock).
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>

#include "platform/word_wait.hpp"

namespace quorvel::platform {

static int64_t monotonic_ns() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const int64_t ticks = static_cast<int64_t>(now.QuadPart);
  return ticks / frequency * 1000000000 + ticks % frequency * 1000000000 / frequency;
}

WaitDeadline wait_deadline_after_ms(int32_t timeout_ms) {
  if (timeout_ms < 0) return {true, 0};
  return {false, monotonic_ns() + static_cast<int64_t>(timeout_ms) * 1000000};
}

bool word_wait(std::atomic<uint32_t> *word, uint32_t expected, const WaitDeadline &deadline) {
  DWORD wait_ms = INFINITE;
  if (!deadline.never) {
    const int64_t ns = deadline.at_ns - monotonic_ns();
    if (ns <= 0) return false;
    // Rounded up: waking a little late is harmless, early would spin.
    const int64_t ms = (ns + 999999) / 1000000;
    wait_ms = ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
  }
  // A time-out is only reported once the deadline has really passed; the
  // caller looks at the word again either way.
  if (!WaitOnAddress(word, &expected, sizeof expected, wait_ms) &&
      GetLastError() == ERROR_TIMEOUT) {
    return !deadline.never && deadline.at_ns - monotonic_ns() > 0;
  }
  return true;
}

void word_wake_one(std::atomic<uint32_t> *word) { WakeByAddressSingle(word); }
void word_wake_all(std::atomic<uint32_t> *word) { WakeByAddressAll(word); }

}  // namespace quorvel::platform
