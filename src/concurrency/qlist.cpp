// QList: a ring of message pointers under a plain lock, a counting semaphore
// with one unit per message, and up to ten workers that call back outside
// the lock.  Only message copies (value and bytes in one block) and grown
// rings come from the heap.
//
// A hand-over costs what the cache lines it moves between processors cost,
// so a worker takes every message it finds (up to kTake) in one visit to
// the lock, and the units of all but the first in one step, then calls back
// one message at a time.  While it works through them the producer has the
// lock, the ring and the semaphore to itself.
#include <cstdint>
#include <cstring>

#include "common/alloc_hook.hpp"
#include "platform/platform.hpp"
#include "quorvel/concurrency.h"

using quorvel::detail::qrvl_calloc;
using quorvel::detail::qrvl_malloc;
using quorvel::detail::qrvl_free;

namespace platform = quorvel::platform;

namespace {

constexpr uint32_t kMagic = 20151120;
constexpr uint32_t kMaxWorkers = 10;
constexpr uint32_t kGrowth = 10;
// Messages a worker takes in one visit to the lock (2 KiB of its stack on
// 64-bit targets); the rest wait for its next visit or another worker.
constexpr uint32_t kTake = 256;
// Nodes and copies asked for ahead of use: they were written on the
// producer's processor, and their cache lines take a while to come over.
constexpr uint32_t kNodesAhead = 8;
constexpr uint32_t kAhead = 8;

// The stop flag is written by QListFree while workers may be reading it.
inline bool stopping(QList *q) { return __atomic_load_n(&q->stop, __ATOMIC_ACQUIRE) != 0; }

// Units and messages are counted alike, so a worker that took n messages
// on one unit may also take up to n - 1 units that are there already.  It
// does so under the lock, in the same step as the messages: a worker that
// finds the ring empty has then seen every unit taken ahead for the
// messages before it, and a message left in the ring or posted later
// always keeps a unit that is there or on its way.
uint32_t take_messages(QList *q, void **taken) {
  MutexLock(&q->lock);
  const uint32_t n = q->count < kTake ? q->count : kTake;
  QListNode *node = q->head;
  for (uint32_t i = 0; i < n; ++i) {
    // A ring is one array whose nodes follow each other but for the wrap,
    // so the nodes ahead can be asked for before the links reach them (a
    // prefetch past the end is harmless; the address is only computed).
    __builtin_prefetch(
        reinterpret_cast<const void *>(reinterpret_cast<uintptr_t>(node) + kNodesAhead * sizeof *node),
        1);
    taken[i] = node->message;
    node->message = nullptr;
    node = node->next;
  }
  q->head = node;
  q->count -= n;
  if (n > 1) {
    platform::semaphore_take_up_to(platform::as_semaphore(&q->items.semaphore),
                                   static_cast<int32_t>(n - 1));
  }
  MutexUnlock(&q->lock);
  return n;
}

struct Delivery {
  QListCallback callback;
  void *context;
  void *user;
};

// Calls back in order; once the QList is stopping the rest are freed
// unseen, as queued messages are.  The copies are asked for a few ahead,
// for writing since free writes into them, so that their cache lines
// travel while the callbacks before them run.
void deliver(QList *q, const Delivery &to, void **taken, uint32_t n) {
  for (uint32_t i = 0; i < n && i < kAhead; ++i) __builtin_prefetch(taken[i], 1);
  for (uint32_t i = 0; i < n; ++i) {
    void *message = taken[i];
    if (i + kAhead < n) __builtin_prefetch(taken[i + kAhead], 1);
    if (to.callback && !stopping(q)) {
      uint32_t value;
      std::memcpy(&value, message, sizeof value);
      to.callback(to.context, value, static_cast<uint8_t *>(message) + sizeof value, to.user);
    }
    qrvl_free(message);
  }
}

// The callback and its arguments are set before the workers start and
// never change, so each worker reads them once rather than from the
// record's lines that the producer keeps writing.
void *worker_loop(void *argument) {
  QList *q = static_cast<QList *>(argument);
  const Delivery to{q->callback, q->context, q->user};
  void *taken[kTake];
  while (!stopping(q)) {
    const int32_t waited = SemaphoreWait(&q->items, -1);
    if (stopping(q)) break;
    if (waited != 1) continue;
    const uint32_t n = take_messages(q, taken);
    deliver(q, to, taken, n);
  }
  // Units taken ahead may include stop units meant for a worker still
  // asleep: each worker that leaves passes one on, so the last to leave
  // always leaves a unit for any sleeper.
  SemaphorePost(&q->items);
  return nullptr;
}

// Moves the waiting messages, oldest first, into a ring 10 nodes larger.
// Runs under the lock with the ring full; false when memory is short.
// Kept out of line: posting to a ring with room stays short.
__attribute__((noinline)) bool grow(QList *q) {
  const uint32_t capacity = q->capacity + kGrowth;
  QListNode *nodes = static_cast<QListNode *>(qrvl_calloc(capacity, sizeof(QListNode)));
  if (!nodes) return false;
  QListNode *from = q->head;
  for (uint32_t i = 0; i < q->count; ++i) {
    nodes[i].message = from->message;
    from = from->next;
  }
  for (uint32_t i = 0; i < capacity; ++i) nodes[i].next = &nodes[(i + 1) % capacity];
  q->head = &nodes[0];
  q->tail = &nodes[q->count % capacity];
  qrvl_free(q->grown);
  q->grown = nodes;
  q->capacity = capacity;
  return true;
}

}  // namespace

extern "C" {

void QListInit(QList *q, QListCallback callback, void *user, void *context, uint32_t worker_count,
               int32_t stack_size) {
  if (!q || q->magic == kMagic) return;
  q->magic = kMagic;
  __atomic_store_n(&q->stop, 0, __ATOMIC_RELEASE);
  q->count = 0;
  q->capacity = kGrowth;
  for (uint32_t i = 0; i < kGrowth; ++i) {
    q->ring[i].message = nullptr;
    q->ring[i].next = &q->ring[(i + 1) % kGrowth];
  }
  q->head = q->tail = &q->ring[0];
  q->grown = nullptr;
  q->context = context;
  q->callback = callback;
  q->user = user;
  q->worker_count = worker_count == 0 ? 1 : worker_count > kMaxWorkers ? kMaxWorkers : worker_count;
  MutexInit(&q->lock);
  SemaphoreInit(&q->items, 0);
  for (uint32_t i = 0; i < q->worker_count; ++i) {
    // kCreateThread returns only once the worker runs; a failed start
    // leaves handle 0, and that worker is simply missing.
    if (kCreateThread(&q->workers[i], stack_size < 0 ? 0 : stack_size, worker_loop, q) != 0)
      q->workers[i].handle = 0;
  }
}

// The copy is made before the lock is taken, so the lock is held only for
// the ring itself.  A block that is not initialised is refused before its
// lock (garbage then) is touched; init and free never race with posts.
void QListPost(QList *q, const void *bytes, int32_t length, uint32_t value) {
  if (!q || !bytes || length < 0 || q->magic != kMagic) return;
  // At most 2^31 + 3 bytes, which a 32-bit size_t holds too.  Value and
  // bytes fill the whole block, so it is not cleared first.
  const size_t size = static_cast<size_t>(length) + sizeof value;
  uint8_t *message = static_cast<uint8_t *>(qrvl_malloc(size));
  if (!message) return;
  std::memcpy(message, &value, sizeof value);
  std::memcpy(message + sizeof value, bytes, static_cast<size_t>(length));
  MutexLock(&q->lock);
  if (q->magic != kMagic || (q->count == q->capacity && !grow(q))) {
    MutexUnlock(&q->lock);
    qrvl_free(message);
    return;
  }
  q->tail->message = message;
  q->tail = q->tail->next;
  ++q->count;
  MutexUnlock(&q->lock);
  SemaphorePost(&q->items);
}

void QListFree(QList *q) {
  if (!q || q->magic != kMagic) return;
  // A post that holds the lock right now completes first.
  MutexLock(&q->lock);
  MutexUnlock(&q->lock);
  __atomic_store_n(&q->stop, 1, __ATOMIC_RELEASE);
  for (uint32_t i = 0; i < q->worker_count; ++i) SemaphorePost(&q->items);
  for (uint32_t i = 0; i < q->worker_count; ++i)
    if (q->workers[i].handle != 0 && q->workers[i].detached == 0) kThreadJoin(q->workers[i]);
  MutexLock(&q->lock);
  QListNode *node = q->head;
  for (uint32_t i = 0; i < q->count; ++i) {
    qrvl_free(node->message);
    node->message = nullptr;
    node = node->next;
  }
  q->count = 0;
  qrvl_free(q->grown);
  q->grown = nullptr;
  q->magic = 0;
  MutexUnlock(&q->lock);
  SemaphoreFree(&q->items);
  MutexFree(&q->lock);
}

}  // extern "C"
