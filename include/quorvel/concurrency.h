/** @file
 * Concurrency: threads, mutexes, semaphores, condition variables and the QList worker queue.
 */
#ifndef QUORVEL_CONCURRENCY_H
#define QUORVEL_CONCURRENCY_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

/* ---- Threads, mutexes, semaphores, condition variables ------------------ */

/** @name Threads, mutexes, semaphores, condition variables */
/** @{ */

/** ThreadRoutine is the caller's thread body; its result is ignored. */
typedef void *(*ThreadRoutine)(void *argument);

/** ThreadCtl is the control block of a thread started by kCreateThread or
   kCreateDThread.  Only handle and detached must stay intact for
   kThreadJoin. */
typedef struct ThreadCtl {
  uintptr_t handle;      /**< the running thread; 0 when creation failed */
  uint8_t started;       /**< 1 once the new thread has taken its copy */
  uint8_t detached;      /**< 0 joinable, 1 detached */
  ThreadRoutine routine; /**< the caller's routine */
  void *argument;        /**< passed to the routine unchanged */
} ThreadCtl;

/** Mutex is a plain lock (kind 0: no owner, any thread may unlock it) or a
   recursive lock (kind 1: the holder may lock again and unlocks as often). */
typedef struct Mutex {
  uint8_t kind; /**< 0 plain, 1 recursive */
  qrvl_recursive_lock_storage recursive_lock; /**< used when kind is 1 */
  qrvl_semaphore_storage semaphore;           /**< used when kind is 0 */
} Mutex;

/** Semaphore is a counting semaphore whose count never passes 2147483647. */
typedef struct Semaphore {
  qrvl_semaphore_storage semaphore; /**< the platform semaphore */
} Semaphore;

/** Cond is a condition variable: a waiter count under a plain guard mutex,
   an auto-reset signal event and a manual-reset broadcast event (kept as
   one platform object so that a wait watches both). */
typedef struct Cond {
  uint32_t waiters;               /**< threads in CondWait, counted under guard */
  Mutex guard;                    /**< plain; guards waiters */
  qrvl_event_pair_storage events; /**< signal (auto-reset) and broadcast (manual-reset) */
} Cond;

/** kCreateThread starts a joinable thread running routine(argument).  It
   returns 0 once the new thread runs and has taken its copy of routine,
   argument and detached (started is then 1), so the caller may reuse those
   fields at once; handle must stay for kThreadJoin.  It returns -1 with
   handle 0 when the thread cannot be created, and also for a null t or
   routine.  stack_size is in bytes; 0 or negative means the platform
   default, small sizes are raised to the platform minimum.  The routine's
   result is ignored.  Join the thread exactly once with kThreadJoin.
   Thread-safe. */
QRVL_API int32_t kCreateThread(ThreadCtl *t, int32_t stack_size, ThreadRoutine routine,
                               void *argument);

/** kCreateDThread is kCreateThread for a detached thread (detached is 1):
   same results; the thread releases its own handle when its routine
   returns and is never joined.  Thread-safe. */
QRVL_API int32_t kCreateDThread(ThreadCtl *t, int32_t stack_size, ThreadRoutine routine,
                                void *argument);

/** kThreadJoin waits without limit until a joinable thread has ended and
   releases its handle; it reads only handle and detached.  For a detached
   thread, or a block whose creation failed (handle 0), it returns at once.
   Always returns 0.  Join each joinable thread once, from one thread. */
QRVL_API int32_t kThreadJoin(ThreadCtl t);

/** MutexInit makes m a plain mutex (kind 0): not recursive and without an
   owner, so any thread may unlock it.  0; -1 for a null m.  Call it once,
   before any other thread uses m. */
QRVL_API int32_t MutexInit(Mutex *m);
/** MutexRInit makes m a recursive mutex (kind 1): its holder may lock it
   again and must unlock it as often, from the same thread.  0; -1 only
   for a null m. */
QRVL_API int32_t MutexRInit(Mutex *m);
/** MutexLock locks m, waiting without limit.  0; -1 when the wait fails or m
   was not made by MutexInit/MutexRInit (its kind is neither 0 nor 1).
   Locking a plain mutex that the same thread holds waits for another
   thread to unlock it.  Thread-safe. */
QRVL_API int32_t MutexLock(Mutex *m);
/** MutexUnlock unlocks m.  0; -1 when a plain mutex was not locked (it stays
   unlocked, so it still admits only one holder) or m has an unknown kind.
   Thread-safe. */
QRVL_API int32_t MutexUnlock(Mutex *m);
/** MutexFree releases what MutexInit or MutexRInit made; m must be unlocked
   and unused.  Always 0. */
QRVL_API int32_t MutexFree(Mutex *m);

/** SemaphoreInit makes s with count units (at most 2147483647).  0; -1 when
   count is negative or s is null.  Call it once, before other threads use s. */
QRVL_API int32_t SemaphoreInit(Semaphore *s, int32_t count);
/** SemaphoreWait takes one unit: 1 when taken, 0 when timeout_ms passed
   first (0 only looks; negative waits without limit), -1 when the wait
   failed (null or freed s).  Thread-safe. */
QRVL_API int32_t SemaphoreWait(Semaphore *s, int32_t timeout_ms);
/** SemaphorePost adds one unit and wakes one waiter.  1; -1 when the count
   would pass 2147483647 (it is left unchanged) or s is null or freed.
   Thread-safe; s may be freed by the thread that takes the unit as soon
   as it has it.  Not for signal handlers. */
QRVL_API int32_t SemaphorePost(Semaphore *s);
/** SemaphoreFree releases s; nobody may be waiting on it.  Always 0. */
QRVL_API int32_t SemaphoreFree(Semaphore *s);

/** CondInit makes c with no waiters.  0; -1 for a null c, or when the
   system has no semaphore left for its guard (Windows).
   Call it once, before other threads use c. */
QRVL_API int32_t CondInit(Cond *c);
/** CondWait releases m (held once by the caller, either kind), waits for
   CondSignal or CondBroadcast and takes m again.  1 when woken, 0 when
   timeout_ms passed (0 only looks; negative waits without limit), -1 when
   the wait failed or c or m is null.  m is held again whatever the result.
   As with every condition variable, a waiter may rarely be woken with no
   signal meant for it: re-check the condition.  Thread-safe. */
QRVL_API int32_t CondWait(Cond *c, Mutex *m, int32_t timeout_ms);
/** CondSignal wakes one waiter; each call releases a further waiter while
   there are more waiters than releases on their way.  0; -1 when nobody
   waits (nothing is done and nothing is remembered for later waiters).
   Thread-safe. */
QRVL_API int32_t CondSignal(Cond *c);
/** CondBroadcast wakes every thread waiting on c; the last of them to leave
   clears the broadcast again.  0; -1 when nobody waits (nothing is done).
   Thread-safe. */
QRVL_API int32_t CondBroadcast(Cond *c);
/** CondFree releases c; nobody may be waiting on it.  0; -1 for a null c. */
QRVL_API int32_t CondFree(Cond *c);
/** @} */

/* ---- QList worker queue ---------------------------------------------- */

/** @name QList worker queue */
/** @{ */

/** QListCallback receives one message on a worker thread: the QList's
   context, the value given to QListPost, the copied bytes (valid only
   during the call; freed right after it) and the QList's user value.  Its
   result is ignored. */
typedef int32_t (*QListCallback)(void *context, uint32_t value, void *bytes, void *user);

/** QListNode is one position of a QList ring; message is NULL while free. */
typedef struct QListNode {
  void *message;         /**< the queued copy, or NULL */
  struct QListNode *next; /**< the following position of the ring */
} QListNode;

/** QList is a first-in first-out queue of byte messages served by 1-10
   worker threads.  Its ring starts as the 10 built-in nodes and grows by 10
   whenever it is full. */
typedef struct QList {
  uint32_t magic;        /**< 20151120 while initialised, 0 after QListFree */
  uint32_t worker_count; /**< 1-10 */
  void *context;         /**< first argument of every callback */
  QListNode *head;       /**< oldest message */
  QListNode *tail;       /**< where the next message goes */
  QListNode *grown;      /**< ring of the last growth, NULL while built-in */
  QListNode ring[10];    /**< the built-in ring */
  uint32_t count;        /**< messages in the ring */
  uint32_t capacity;     /**< nodes in the current ring */
  ThreadCtl workers[10]; /**< control blocks of the workers started */
  Mutex lock;            /**< plain; guards the ring, count and capacity */
  Semaphore items;       /**< one unit per message, one per worker at stop */
  uint8_t stop;          /**< 1 once QListFree is stopping the workers */
  QListCallback callback; /**< called for every message; NULL drops them */
  void *user;            /**< last argument of every callback */
} QList;

/** QListInit prepares q and starts worker_count workers (0 counts as 1,
   above 10 as 10; stack_size below 0 is the platform default) that call
   callback (may be NULL: messages are then dropped) for every message.  A q
   already initialised is left as it is; a worker that cannot start is
   skipped.  q is caller memory and must stay put until QListFree.
   Call it once, before other threads post to q. */
QRVL_API void QListInit(QList *q, QListCallback callback, void *user, void *context,
                        uint32_t worker_count, int32_t stack_size);
/** QListPost queues a copy of length bytes with value; a worker passes it to
   the callback, oldest first.  Nothing happens for a NULL q or bytes, a
   negative length, a q not initialised, or when memory for the copy or a
   larger ring cannot be had (the message is dropped).  Thread-safe, also
   from inside a callback. */
QRVL_API void QListPost(QList *q, const void *bytes, int32_t length, uint32_t value);
/** QListFree stops and joins the workers (a callback in progress finishes
   first), discards the messages still queued without calling back and
   releases everything; a q not initialised is left alone.  Not from a
   callback of q, and not while other threads still post to q. */
QRVL_API void QListFree(QList *q);
/** @} */

QRVL_END_DECLS

#endif /* QUORVEL_CONCURRENCY_H */
