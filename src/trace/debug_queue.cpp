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
//
// Cache lines: each hand-over moves the slot's lines and the line of the
// items semaphore, and nothing else.  The writer takes every unit it finds
// in one step and emits that many slots before it looks at the semaphore
// again, so while it works the callers post on a line they already own.
// writer_asleep and the wake semaphore share that line, which the posting
// caller holds anyway.  The ring's address and geometry are read once by
// the writer, from a line that callers only read; the lock and the write
// index, which every caller writes, have a line of their own; the writer's
// own state (read index, timestamp cache) lives on its stack.
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
#include "trace/message_format.hpp"
#include "trace/trace_core.hpp"

namespace {

using quorvel::detail::g_trace_enqueue;
using quorvel::detail::print_console_line;

constexpr const char kOverloadWarning[] = "warning: debug queue is overloading\r\n";
constexpr const char kStartFailed[] = "SetDebugQueue() failed !!";

// Polls of the items semaphore before the writer goes to sleep, and how
// often it stands back meanwhile: a writer that shares its processor with
// a caller would otherwise spin through the caller's time, waiting for the
// very lines that caller cannot write until it runs.
constexpr int kSpinsBeforeSleep = 2000;
constexpr int kSpinsBetweenYields = 64;
// Messages are formatted on the caller's stack, outside the queue lock;
// only longer ones, for slots with more room, are formatted under it.
constexpr size_t kStackText = 1032;

constexpr size_t kHead = sizeof(TraceLine);
constexpr size_t kInUse = offsetof(TraceLine, in_use);
constexpr size_t kInUseEnd = kInUse + sizeof(uint32_t);
// The in_use field only ever holds 0 or 1, so its low-order byte carries it.
constexpr size_t kInUseByte = std::endian::native == std::endian::little ? kInUse : kInUseEnd - 1;

// Set by SetDebugQueue; read by callers and, once, by the writer.
struct alignas(64) QueueConfig {
  std::atomic<uint8_t> active;
  bool primitives_ready;  // the lock and semaphores outlive a failed start
  unsigned char *slots;
  uint32_t size;
  uint32_t count;
};

// Written by every caller, under the lock.
struct alignas(64) QueueFill {
  Mutex lock;
  uint32_t write_index;
};

// Written by callers and the writer: one unit per filled slot, and the
// writer's sleep.
struct alignas(64) QueueHandOver {
  Semaphore items;
  Semaphore wake;
  std::atomic<uint8_t> writer_asleep;
};

struct Queue {
  QueueConfig config;
  QueueFill fill;
  QueueHandOver hand_over;
};

Queue g_queue;

std::atomic_ref<unsigned char> in_use(unsigned char *slot) {
  return std::atomic_ref<unsigned char>(slot[kInUseByte]);
}

unsigned char *slot_at(unsigned char *slots, uint32_t size, uint32_t index) {
  return slots + static_cast<size_t>(index) * size;
}

quorvel::platform::Semaphore *platform_semaphore(Semaphore *s) {
  return quorvel::platform::as_semaphore(&s->semaphore);
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
void wake_writer(QueueHandOver &h) {
  if (h.writer_asleep.exchange(0, std::memory_order_acq_rel) != 0) SemaphorePost(&h.wake);
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
  size_t room =
      text_room(std::atomic_ref<uint32_t>(q.config.size).load(std::memory_order_relaxed));
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

  // Only the clock is read under the lock, which keeps the stamps in ring
  // order; the zone lookup is not needed for that.
  const quorvel::detail::TimeBasis basis = quorvel::detail::trace_time_basis();
  bool accepted = false;
  MutexLock(&q.fill.lock);
  room = text_room(q.config.size);
  if (length >= room) length = room - 1;
  unsigned char *slot = slot_at(q.config.slots, q.config.size, q.fill.write_index);
  if (in_use(slot).load(std::memory_order_acquire) == 0) {
    char *slot_text = reinterpret_cast<char *>(slot + kHead);
    if (format_in_slot && room > sizeof text) {
      quorvel::detail::format_message(slot_text, room, format, again);
    } else {
      memcpy(slot_text, text, length);
      slot_text[length] = '\0';
    }
    TraceLine head{};
    quorvel::detail::trace_capture_time(&head, basis);
    head.line_end = line_end;
    head.in_use = 1;
    head.thread_id = quorvel::platform::cached_thread_id();
    head.tag = tag;
    head.level = level;
    store_head(slot, head);
    in_use(slot).store(1, std::memory_order_release);
    uint32_t next = q.fill.write_index + 1;
    q.fill.write_index = next == q.config.count ? 0 : next;
    accepted = true;
  }
  MutexUnlock(&q.fill.lock);
  va_end(again);
  // Units are interchangeable, so posting after the unlock keeps the lock
  // short without changing the order in which lines leave.
  if (accepted) {
    quorvel::platform::semaphore_post(platform_semaphore(&q.hand_over.items));
    wake_writer(q.hand_over);
  } else if (GetDebugState() != 0) {
    print_console_line(kOverloadWarning);
  }
}

// Takes every unit of the items semaphore there is (at least one), looking
// again for a short while before sleeping, since callers that find the
// writer awake pay nothing.
int32_t take_items(QueueHandOver &h) {
  quorvel::platform::Semaphore *items = platform_semaphore(&h.items);
  for (;;) {
    for (int spin = 0; spin < kSpinsBeforeSleep; ++spin) {
      if (int32_t n = quorvel::platform::semaphore_take_up_to(items, INT32_MAX)) return n;
      if (spin % kSpinsBetweenYields == kSpinsBetweenYields - 1) {
        quorvel::platform::yield_processor();
      } else {
        quorvel::platform::spin_pause();
      }
    }
    h.writer_asleep.exchange(1, std::memory_order_acq_rel);
    if (int32_t n = quorvel::platform::semaphore_take_up_to(items, INT32_MAX)) {
      h.writer_asleep.store(0, std::memory_order_relaxed);
      return n;
    }
    // A wake-up left over from an earlier round only costs one more look.
    if (SemaphoreWait(&h.wake, -1) != 1) quorvel::platform::sleep_ms(1);
  }
}

// Units are posted after the slot is filled and the lock released, in any
// order, but a caller posts only after every earlier slot was filled under
// the lock; so n units taken stand for the next n slots in ring order.
void *writer_main(void *) {
  Queue &q = g_queue;
  // Set before this thread was started and not changed while it runs.
  unsigned char *const slots = q.config.slots;
  const uint32_t size = q.config.size;
  const uint32_t count = q.config.count;
  quorvel::detail::StampCache stamps;
  stamps.valid = false;
  uint32_t read_index = 0;
  while (q.config.active.load(std::memory_order_acquire) != 0) {
    for (int32_t units = take_items(q.hand_over); units > 0; --units) {
      unsigned char *slot = slot_at(slots, size, read_index);
      // A unit without a filled slot here can only be left over from a
      // failed start; it is spent without moving on.
      if (in_use(slot).load(std::memory_order_acquire) != 1) continue;
      TraceLine head;
      memcpy(&head, slot, kHead);
      quorvel::detail::trace_emit(head.tag, reinterpret_cast<const char *>(slot + kHead), &head,
                                  &stamps);
      in_use(slot).store(0, std::memory_order_release);
      read_index = read_index + 1 == count ? 0 : read_index + 1;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" void SetDebugQueue(void *buffer, int32_t count, uint32_t size) {
  if (count <= 0 || size <= kHead || buffer == nullptr) return;
  Queue &q = g_queue;
  uint8_t inactive = 0;
  if (!q.config.active.compare_exchange_strong(inactive, 1, std::memory_order_acq_rel,
                                               std::memory_order_acquire))
    return;
  if (!q.config.primitives_ready) {
    SemaphoreInit(&q.hand_over.items, 0);
    SemaphoreInit(&q.hand_over.wake, 0);
    memset(&q.fill.lock, 0, sizeof q.fill.lock);
    MutexInit(&q.fill.lock);
    q.config.primitives_ready = true;
  }
  // Under the lock: a caller still finishing a line into a failed queue
  // must not see half of the new ring.
  MutexLock(&q.fill.lock);
  q.config.slots = static_cast<unsigned char *>(buffer);
  std::atomic_ref<uint32_t>(q.config.size).store(size, std::memory_order_relaxed);
  q.config.count = static_cast<uint32_t>(count);
  q.fill.write_index = 0;
  MutexUnlock(&q.fill.lock);
  g_trace_enqueue.store(enqueue, std::memory_order_release);

  ThreadCtl ctl;
  memset(&ctl, 0, sizeof ctl);
  if (kCreateDThread(&ctl, -1, writer_main, nullptr) != 0) {
    // Cleared first, so that the report below is emitted directly.
    g_trace_enqueue.store(nullptr, std::memory_order_release);
    q.config.active.store(0, std::memory_order_release);
    quorvel::detail::library_error("%s", kStartFailed);
  }
}
