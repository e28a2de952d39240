/*
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

/* ThreadRoutine is the caller's thread body; its result is ignored. */
typedef void *(*ThreadRoutine)(void *argument);

/* ThreadCtl is the control block of a thread started by kCreateThread or
   kCreateDThread.  Only handle must stay intact for kThreadJoin. */
typedef struct ThreadCtl {
  uintptr_t handle;      /* the running thread; 0 when creation failed */
  uint8_t started;       /* 1 once the new thread has taken its copy */
  uint8_t detached;      /* 0 joinable, 1 detached */
  ThreadRoutine routine; /* the caller's routine */
  void *argument;        /* passed to the routine unchanged */
} ThreadCtl;

/* Mutex is a plain lock (kind 0: no owner, any thread may unlock it) or a
   recursive lock (kind 1: the holder may lock again and unlocks as often). */
typedef struct Mutex {
  uint8_t kind;
  qrvl_recursive_lock_storage recursive_lock; /* used when kind is 1 */
  qrvl_semaphore_storage semaphore;           /* used when kind is 0 */
} Mutex;

/* Semaphore is a counting semaphore whose count never passes 2147483647. */
typedef struct Semaphore {
  qrvl_semaphore_storage semaphore;
} Semaphore;

/* Cond is a condition variable: a waiter count under a plain guard mutex,
   an auto-reset signal event and a manual-reset broadcast event (kept as
   one platform object so that a wait watches both). */
typedef struct Cond {
  uint32_t waiters;
  Mutex guard;
  qrvl_event_pair_storage events;
} Cond;

/* kCreateThread starts a joinable thread running routine(argument) and
   returns 0 once the new thread runs (started is 1), or -1 when it cannot be
   created (handle is 0).  A negative stack_size means the platform default.
   Join the thread once with kThreadJoin.  Thread-safe. */
QRVL_API int32_t kCreateThread(ThreadCtl *t, int32_t stack_size, ThreadRoutine routine,
                               void *argument);

/* kCreateDThread is kCreateThread for a detached thread, which releases its
   own handle when its routine returns and is never joined.  Thread-safe. */
QRVL_API int32_t kCreateDThread(ThreadCtl *t, int32_t stack_size, ThreadRoutine routine,
                                void *argument);

/* kThreadJoin waits until a joinable thread has ended and releases it;
   for a detached thread it returns at once.  Always returns 0. */
QRVL_API int32_t kThreadJoin(ThreadCtl t);

/* MutexInit makes m a plain mutex (no owner); 0, or -1 on failure. */
QRVL_API int32_t MutexInit(Mutex *m);
/* MutexRInit makes m a recursive mutex; always 0. */
QRVL_API int32_t MutexRInit(Mutex *m);
/* MutexLock locks m, waiting without limit; 0, or -1 when the wait fails.
   Thread-safe. */
QRVL_API int32_t MutexLock(Mutex *m);
/* MutexUnlock unlocks m; 0, or -1 when a plain mutex was not locked (it
   stays unlocked).  Thread-safe. */
QRVL_API int32_t MutexUnlock(Mutex *m);
/* MutexFree releases what MutexInit or MutexRInit made; always 0. */
QRVL_API int32_t MutexFree(Mutex *m);

/* SemaphoreInit makes s with count count; 0, or -1 when count is negative. */
QRVL_API int32_t SemaphoreInit(Semaphore *s, int32_t count);
/* SemaphoreWait takes one unit: 1 when taken, 0 when timeout_ms passed
   first (0 polls, negative waits without limit), -1 when the wait failed.
   Thread-safe. */
QRVL_API int32_t SemaphoreWait(Semaphore *s, int32_t timeout_ms);
/* SemaphorePost adds one unit: 1, or -1 when the count would pass
   2147483647 (it is left unchanged).  Thread-safe. */
QRVL_API int32_t SemaphorePost(Semaphore *s);
/* SemaphoreFree releases s; always 0. */
QRVL_API int32_t SemaphoreFree(Semaphore *s);

/* CondInit makes c; 0, or -1 when its events cannot be made. */
QRVL_API int32_t CondInit(Cond *c);
/* CondWait releases m (held by the caller, either kind), waits for
   CondSignal or CondBroadcast and takes m again: 1 when woken, 0 when
   timeout_ms passed (negative waits without limit), -1 when the wait
   failed.  m is held again in every case.  Thread-safe. */
QRVL_API int32_t CondWait(Cond *c, Mutex *m, int32_t timeout_ms);
/* CondSignal wakes one waiter: 0, or -1 when nobody waits (nothing is
   remembered).  Thread-safe. */
QRVL_API int32_t CondSignal(Cond *c);
/* CondBroadcast wakes every current waiter: 0, or -1 when nobody waits.
   Thread-safe. */
QRVL_API int32_t CondBroadcast(Cond *c);
/* CondFree releases c; 0, or -1 when an event cannot be released. */
QRVL_API int32_t CondFree(Cond *c);

/* ---- QList worker queue ---------------------------------------------- */

/* QListCallback receives one message on a worker thread: the QList's
   context, the value given to QListPost, the copied bytes (valid only
   during the call; freed right after it) and the QList's user value.  Its
   result is ignored. */
typedef int32_t (*QListCallback)(void *context, uint32_t value, void *bytes, void *user);

/* QListNode is one position of a QList ring; message is NULL while free. */
typedef struct QListNode {
  void *message;
  struct QListNode *next;
} QListNode;

/* QList is a first-in first-out queue of byte messages served by 1-10
   worker threads.  Its ring starts as the 10 built-in nodes and grows by 10
   whenever it is full. */
typedef struct QList {
  uint32_t magic;        /* 20151120 while initialised, 0 after QListFree */
  uint32_t worker_count; /* 1-10 */
  void *context;         /* first argument of every callback */
  QListNode *head;       /* oldest message */
  QListNode *tail;       /* where the next message goes */
  QListNode *grown;      /* ring of the last growth, NULL while built-in */
  QListNode ring[10];    /* the built-in ring */
  uint32_t count;        /* messages in the ring */
  uint32_t capacity;     /* nodes in the current ring */
  ThreadCtl workers[10];
  Mutex lock;            /* plain; guards the ring, count and capacity */
  Semaphore items;       /* one unit per message, one per worker at stop */
  uint8_t stop;
  QListCallback callback;
  void *user;            /* last argument of every callback */
} QList;

/* QListInit prepares q and starts worker_count workers (0 counts as 1,
   above 10 as 10; stack_size below 0 is the platform default) that call
   callback (may be NULL: messages are then dropped) for every message.  A q
   already initialised is left as it is; a worker that cannot start is
   skipped.  q is caller memory and must stay put until QListFree. */
QRVL_API void QListInit(QList *q, QListCallback callback, void *user, void *context,
                        uint32_t worker_count, int32_t stack_size);
/* QListPost queues a copy of length bytes with value; a worker passes it to
   the callback, oldest first.  Nothing happens for a NULL q or bytes, a
   negative length, a q not initialised, or when memory for the copy or a
   larger ring cannot be had (the message is dropped).  Thread-safe, also
   from inside a callback. */
QRVL_API void QListPost(QList *q, const void *bytes, int32_t length, uint32_t value);
/* QListFree stops and joins the workers (a callback in progress finishes
   first), discards the messages still queued without calling back and
   releases everything; a q not initialised is left alone.  Not from a
   callback of q, and not while other threads still post to q. */
QRVL_API void QListFree(QList *q);

QRVL_END_DECLS

#endif /* QUORVEL_CONCURRENCY_H */
