// The debug queue: callers format into the next free slot of the caller's
// ring; one detached writer thread emits the slots in ring order.
//
// Hand-over: the low byte of a slot's in_use field is the only byte both
// sides touch at the same time, and every access to it is atomic.  A caller
// that sees it 0 (acquire) owns the slot, fills it and sets it to 1
// (release) before posting the items semaphore; the writer reads it 1
// (acquire) after taking a unit, emits from the slot and stores 0 (release)
// only when it no longer reads the slot.  A byte keeps the flag atomic at
// any slot size, since slots need not be aligned; the head is therefore
// copied with memcpy rather than used in place.
//
// Waking: the writer takes units without blocking on the semaphore and
// sleeps on a wake semaphore of its own instead, announced by writer_asleep.
// Only the caller that clears writer_asleep posts the wake-up, so a burst of
// lines meeting a sleeping writer costs one wake-up, not one per line.
#include <atomic>
#include <bit>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "common/console_line.hpp"
#include "platform/platform.hpp"
#include "quorvel/concurrency.h"
#include "quorvel/trace.h"
#include "trace/debug_queue.hpp"
#include "trace/message_format.hpp"
#include "trace/trace_core.hpp"

namespace quorvel::detail {

DebugQueueThreadStarter g_debug_queue_thread_starter = kCreateDThread;

}  // namespace quorvel::detail

namespace {

using quorvel::detail::g_debug_queue_thread_starter;
using quorvel::detail::g_trace_enqueue;
using quorvel::detail::print_console_line;

constexpr const char kOverloadWarning[] = "warning: debug queue is overloading\r\n";
constexpr const char kStartFailed[] = "SetDebugQueue() failed !!";

// Polls of the items semaphore before the writer goes to sleep.
constexpr int kSpinsBeforeSleep = 2000;
// Messages are formatted on the caller's stack, outside the queue lock;
// only longer ones, for slots with more room, are formatted under it.
constexpr size_t kStackText = 1032;

constexpr size_t kHead = sizeof(TraceLine);
constexpr size_t kInUse = offsetof(TraceLine, in_use);
constexpr size_t kInUseEnd = kInUse + sizeof(uint32_t);
// The in_use field only ever holds 0 or 1, so its low-order byte carries it.
constexpr size_t kInUseByte = std::endian::native == std::endian::little ? kInUse : kInUseEnd - 1;

struct Queue {
  std::atomic<uint8_t> active;
  std::atomic<uint8_t> writer_asleep;
  bool primitives_ready;  // the lock and semaphores outlive a failed start
  unsigned char *slots;
  uint32_t size;
  uint32_t count;
  uint32_t write_index;  // under lock
  Mutex lock;
  Semaphore items;
  Semaphore wake;
};

Queue g_queue;

std::atomic_ref<unsigned char> in_use(unsigned char *slot) {
  return std::atomic_ref<unsigned char>(slot[kInUseByte]);
}

unsigned char *slot_at(uint32_t index) {
  return g_queue.slots + static_cast<size_t>(index) * g_queue.size;
}

// Writes every head field but in_use, which is handed over on its own.
void store_head(unsigned char *slot, const TraceLine &head) {
  const unsigned char *from = reinterpret_cast<const unsigned char *>(&head);
  memcpy(slot, from, kInUse);
  memcpy(slot + kInUseEnd, from + kInUseEnd, kHead - kInUseEnd);
}

// Both sides swap writer_asleep (acq_rel), so the two swaps are ordered:
// either the writer's comes second and sees the unit just posted, or this
// one comes second and sees the writer asleep.
void wake_writer(Queue &q) {
  if (q.writer_asleep.exchange(0, std::memory_order_acq_rel) != 0) SemaphorePost(&q.wake);
}

// Bytes for the text and its terminator in a slot of the given size,
// capped where the formatter's int result ends.
size_t text_room(uint32_t size) {
  return size - kHead < size_t{INT_MAX} ? size - kHead : size_t{INT_MAX};
}

__attribute__((format(printf, 4, 0))) void enqueue(int32_t level, const char *tag,
                                                   uint32_t line_end, const char *format,
                                                   va_list args) {
  Queue &q = g_queue;
  // The size is read again under the lock: a failed start followed by a
  // new SetDebugQueue can change it while this line is being formatted.
  size_t room = text_room(std::atomic_ref<uint32_t>(q.size).load(std::memory_order_relaxed));
  char text[kStackText];
  size_t length = 0;
  bool format_in_slot = false;
  va_list again;
  va_copy(again, args);
  if (format != nullptr) {
    int n = quorvel::detail::format_message(text, room < sizeof text ? room : sizeof text, format,
                                            args);
    if (n > 0) length = static_cast<size_t>(n);
    if (length >= room) length = room - 1;  // cut at the slot's text area
    format_in_slot = length >= sizeof text;
  } else {
    text[0] = '\0';
  }

  bool accepted = false;
  MutexLock(&q.lock);
  room = text_room(q.size);
  if (length >= room) length = room - 1;
  unsigned char *slot = slot_at(q.write_index);
  if (in_use(slot).load(std::memory_order_acquire) == 0) {
    char *slot_text = reinterpret_cast<char *>(slot + kHead);
    if (format_in_slot && room > sizeof text) {
      quorvel::detail::format_message(slot_text, room, format, again);
    } else {
      memcpy(slot_text, text, length);
      slot_text[length] = '\0';
    }
    TraceLine head{};
    quorvel::detail::trace_capture_time(&head);
    head.line_end = line_end;
    head.in_use = 1;
    head.thread_id = quorvel::platform::cached_thread_id();
    head.tag = tag;
    head.level = level;
    store_head(slot, head);
    in_use(slot).store(1, std::memory_order_release);
    q.write_index = (q.write_index + 1) % q.count;
    accepted = true;
  }
  MutexUnlock(&q.lock);
  va_end(again);
  // Units are interchangeable, so posting after the unlock keeps the lock
  // short without changing the order in which lines leave.
  if (accepted) {
    SemaphorePost(&q.items);
    wake_writer(q);
  } else if (GetDebugState() != 0) {
    print_console_line(kOverloadWarning);
  }
}

// Takes one unit of the items semaphore, looking again for a short while
// before sleeping, since callers that find the writer awake pay nothing.
void take_item(Queue &q) {
  for (;;) {
    for (int spin = 0; spin < kSpinsBeforeSleep; ++spin) {
      if (SemaphoreWait(&q.items, 0) == 1) return;
      quorvel::platform::spin_pause();
    }
    q.writer_asleep.exchange(1, std::memory_order_acq_rel);
    if (SemaphoreWait(&q.items, 0) == 1) {
      q.writer_asleep.store(0, std::memory_order_relaxed);
      return;
    }
    // A wake-up left over from an earlier round only costs one more look.
    if (SemaphoreWait(&q.wake, -1) != 1) quorvel::platform::sleep_ms(1);
  }
}

void *writer_main(void *) {
  Queue &q = g_queue;
  uint32_t read_index = 0;
  while (q.active.load(std::memory_order_acquire) != 0) {
    unsigned char *slot = slot_at(read_index);
    take_item(q);
    // A unit without a filled slot here can only be left over from a failed
    // start; it is spent without moving on.
    if (in_use(slot).load(std::memory_order_acquire) != 1) continue;
    TraceLine head;
    memcpy(&head, slot, kHead);
    quorvel::detail::trace_emit(head.tag, reinterpret_cast<const char *>(slot + kHead), &head);
    in_use(slot).store(0, std::memory_order_release);
    read_index = (read_index + 1) % q.count;
  }
  return nullptr;
}

}  // namespace

extern "C" void SetDebugQueue(void *buffer, int32_t count, uint32_t size) {
  if (count <= 0 || size <= kHead || buffer == nullptr) return;
  Queue &q = g_queue;
  uint8_t inactive = 0;
  if (!q.active.compare_exchange_strong(inactive, 1, std::memory_order_acq_rel,
                                        std::memory_order_acquire))
    return;
  if (!q.primitives_ready) {
    SemaphoreInit(&q.items, 0);
    SemaphoreInit(&q.wake, 0);
    memset(&q.lock, 0, sizeof q.lock);
    MutexInit(&q.lock);
    q.primitives_ready = true;
  }
  // Under the lock: a caller still finishing a line into a failed queue
  // must not see half of the new ring.
  MutexLock(&q.lock);
  q.slots = static_cast<unsigned char *>(buffer);
  std::atomic_ref<uint32_t>(q.size).store(size, std::memory_order_relaxed);
  q.count = static_cast<uint32_t>(count);
  q.write_index = 0;
  MutexUnlock(&q.lock);
  g_trace_enqueue.store(enqueue, std::memory_order_release);

  ThreadCtl ctl;
  memset(&ctl, 0, sizeof ctl);
  if (g_debug_queue_thread_starter(&ctl, -1, writer_main, nullptr) != 0) {
    // Cleared first, so that the report below is emitted directly.
    g_trace_enqueue.store(nullptr, std::memory_order_release);
    q.active.store(0, std::memory_order_release);
    quorvel::detail::library_error("%s", kStartFailed);
  }
}
