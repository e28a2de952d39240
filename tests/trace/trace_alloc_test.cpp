// The trace path never allocates from the heap.  Allocations made by the
// calling thread are counted while a line is traced: through a malloc
// interposer in this program, or, under the sanitizers (whose run-time
// owns malloc), through their allocation hooks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "trace/trace_core.hpp"
#include "trace_capture.hpp"

namespace {
// The counting thread by its id, not a thread_local flag: mingw's
// thread_local allocates at a thread's first use, inside malloc here.
std::atomic<uint32_t> g_counting_thread{0};
std::atomic<long> g_allocations{0};

void set_counting(bool on) { g_counting_thread = on ? trace_test::tid() : 0; }

void note_allocation() {
  if (g_counting_thread.load(std::memory_order_relaxed) == trace_test::tid())
    g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void *, size_t), void (*free_hook)(const volatile void *));

namespace {
void on_malloc(const volatile void *, size_t) { note_allocation(); }
void on_free(const volatile void *) {}
bool install_counter() { return __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free) != 0; }
}  // namespace
#elif defined(_WIN32)
// The C runtime's own functions, found by name: the ones below take the
// place of its imports for every caller linked into this program.
namespace {
template <typename Function>
Function runtime(Function &cached, const char *name) {
  if (cached == nullptr)
    cached = reinterpret_cast<Function>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), name)));
  return cached;
}
void *(*g_malloc)(size_t);
void *(*g_calloc)(size_t, size_t);
void *(*g_realloc)(void *, size_t);
bool install_counter() { return true; }
}  // namespace

extern "C" {
void *malloc(size_t size) { return note_allocation(), runtime(g_malloc, "malloc")(size); }
void *calloc(size_t n, size_t size) {
  return note_allocation(), runtime(g_calloc, "calloc")(n, size);
}
void *realloc(void *p, size_t size) {
  return note_allocation(), runtime(g_realloc, "realloc")(p, size);
}
}
#else
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);

void *malloc(size_t size) { return note_allocation(), __libc_malloc(size); }
void *calloc(size_t n, size_t size) { return note_allocation(), __libc_calloc(n, size); }
void *realloc(void *p, size_t size) { return note_allocation(), __libc_realloc(p, size); }
}
namespace {
bool install_counter() { return true; }
}  // namespace
#endif

namespace {

void discard_output(const char *, int32_t) {}
void discard_route(const DebugInfo *) {}

void trace_everything() {
  for (int i = 0; i < 5; ++i) {
    trace_test::kK[i]("k %d %s %u %ld %.2f", i, "x", 2u, 3L, 4.5);
    trace_test::kW[i]("a %d", i);
    trace_test::kT[i]("quorvel", "x=%d", i);
  }
  errlog_t(nullptr, "b");
  LevelPTrace(0, 3, "[RBTree]: %s\r\n", "Key is already exist");
  static const std::string big(1999, 'z');  // built in the uncounted warm-up
  infolog_t("long", "%s", big.c_str());
}

TEST(TraceAllocation, TracePathMakesNoHeapAllocation) {
  ASSERT_TRUE(install_counter());
  // The counter must see this thread's allocations, or the proof is empty.
  set_counting(true);
  void *probe = malloc(16);
  set_counting(false);
  free(probe);
  ASSERT_EQ(g_allocations.load(), 1);
  g_allocations = 0;

  AddDebugInfoRoute(discard_route);
  SetDebugOutput(discard_output);
  for (int pass = 0; pass < 2; ++pass) {
    SetDebugSwitch(static_cast<uint8_t>(pass));
    SetDebugTimeStringUseClocks(static_cast<uint8_t>(pass));
    trace_everything();  // warm-up: the C library may set up zone state once
    set_counting(true);
    for (int i = 0; i < 50; ++i) trace_everything();
    set_counting(false);
    EXPECT_EQ(g_allocations.load(), 0) << "pass " << pass;
  }
  DelDebugInfoRoute(discard_route);
}

}  // namespace
