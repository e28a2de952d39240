/* Concurrency: two threads add to a counter under a mutex, and a QList
   hands posted messages to its workers, which report back through a
   semaphore. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

static Mutex lock;
static uint32_t counter;
static Semaphore done;

static void *add_many(void *argument) {
  uint32_t i;
  (void)argument;
  for (i = 0; i < 10000; ++i) {
    MutexLock(&lock);
    ++counter;
    MutexUnlock(&lock);
  }
  return NULL;
}

/* Runs on a worker: bytes is the QList's copy, valid during the call. */
static int32_t add_message(void *context, uint32_t value, void *bytes, void *user) {
  uint32_t *sum = (uint32_t *)user;
  MutexLock(&lock);
  *sum += value + (uint32_t)strlen((const char *)bytes);
  MutexUnlock(&lock);
  SemaphorePost(&done);
  (void)context;
  return 0;
}

#define CHECK(x) if (!(x)) { fprintf(stderr, "failed: %s\n", #x); return 1; }

int main(void) {
  ThreadCtl a, b;
  QList queue;
  uint32_t sum = 0;
  int i;

  CHECK(MutexInit(&lock) == 0);
  CHECK(kCreateThread(&a, 0, add_many, NULL) == 0);
  CHECK(kCreateThread(&b, 0, add_many, NULL) == 0);
  kThreadJoin(a);
  kThreadJoin(b);
  CHECK(counter == 20000);

  CHECK(SemaphoreInit(&done, 0) == 0);
  CHECK(SemaphoreWait(&done, 0) == 0); /* no unit yet: 0 at once */
  memset(&queue, 0, sizeof queue);
  QListInit(&queue, add_message, &sum, NULL, 2, 0);
  for (i = 1; i <= 10; ++i) QListPost(&queue, "four", 5, (uint32_t)i); /* 5: with the NUL */
  for (i = 0; i < 10; ++i) CHECK(SemaphoreWait(&done, 5000) == 1);
  QListFree(&queue); /* after the last callback: nothing is discarded */
  CHECK(sum == 55 + 10 * 4);

  SemaphoreFree(&done);
  MutexFree(&lock);
  return 0;
}
