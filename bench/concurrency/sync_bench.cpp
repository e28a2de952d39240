// Threads and locks against the pthread calls a user would write instead.
// Each pair below is one quorvel row and its baseline; compare medians of
// the same run.
//
// The lock rows run twice: first while the process has one thread (both
// the C library and quorvel then skip the bus-locked instructions), then,
// after the thread rows, with a second thread alive, which is where locks
// matter.  Registration order is run order, so keep it.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <semaphore.h>

#include "quorvel/concurrency.h"

namespace {

void BM_MutexPlain_Quorvel(benchmark::State &state) {
  Mutex m;
  MutexInit(&m);
  for (auto _ : state) {
    MutexLock(&m);
    MutexUnlock(&m);
  }
  MutexFree(&m);
}
BENCHMARK(BM_MutexPlain_Quorvel);

void BM_MutexPlain_Pthread(benchmark::State &state) {
  pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
  for (auto _ : state) {
    pthread_mutex_lock(&m);
    pthread_mutex_unlock(&m);
  }
  pthread_mutex_destroy(&m);
}
BENCHMARK(BM_MutexPlain_Pthread);

void BM_MutexRecursive_Quorvel(benchmark::State &state) {
  Mutex m;
  MutexRInit(&m);
  for (auto _ : state) {
    MutexLock(&m);
    MutexUnlock(&m);
  }
  MutexFree(&m);
}
BENCHMARK(BM_MutexRecursive_Quorvel);

void BM_MutexRecursive_Pthread(benchmark::State &state) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_t m;
  pthread_mutex_init(&m, &attr);
  pthread_mutexattr_destroy(&attr);
  for (auto _ : state) {
    pthread_mutex_lock(&m);
    pthread_mutex_unlock(&m);
  }
  pthread_mutex_destroy(&m);
}
BENCHMARK(BM_MutexRecursive_Pthread);

void BM_SemaphorePostWait_Quorvel(benchmark::State &state) {
  Semaphore s;
  SemaphoreInit(&s, 0);
  for (auto _ : state) {
    SemaphorePost(&s);
    SemaphoreWait(&s, -1);
  }
  SemaphoreFree(&s);
}
BENCHMARK(BM_SemaphorePostWait_Quorvel);

void BM_SemaphorePostWait_Posix(benchmark::State &state) {
  sem_t s;
  sem_init(&s, 0, 0);
  for (auto _ : state) {
    sem_post(&s);
    sem_wait(&s);
  }
  sem_destroy(&s);
}
BENCHMARK(BM_SemaphorePostWait_Posix);

void *nothing(void *) { return nullptr; }

void BM_ThreadCreateJoin_Quorvel(benchmark::State &state) {
  for (auto _ : state) {
    ThreadCtl t;
    kCreateThread(&t, 0, nothing, nullptr);
    kThreadJoin(t);
  }
}
BENCHMARK(BM_ThreadCreateJoin_Quorvel)->UseRealTime();

void BM_ThreadCreateJoin_Pthread(benchmark::State &state) {
  for (auto _ : state) {
    pthread_t t;
    pthread_create(&t, nullptr, nothing, nullptr);
    pthread_join(t, nullptr);
  }
}
BENCHMARK(BM_ThreadCreateJoin_Pthread)->UseRealTime();

// Parks one extra thread for the rest of the run, so that every row after
// this one measures the general, multi-threaded path.
void *park(void *raw) {
  sem_wait(static_cast<sem_t *>(raw));
  return nullptr;
}

void make_process_threaded() {
  static sem_t never;
  static bool done = false;
  if (done) return;
  done = true;
  sem_init(&never, 0, 0);
  pthread_t t;
  pthread_create(&t, nullptr, park, &never);
  pthread_detach(t);
}

template <void (*Body)(benchmark::State &)>
void threaded(benchmark::State &state) {
  make_process_threaded();
  Body(state);
}

BENCHMARK(threaded<BM_MutexPlain_Quorvel>)->Name("Threaded/MutexPlain_Quorvel");
BENCHMARK(threaded<BM_MutexPlain_Pthread>)->Name("Threaded/MutexPlain_Pthread");
BENCHMARK(threaded<BM_MutexRecursive_Quorvel>)->Name("Threaded/MutexRecursive_Quorvel");
BENCHMARK(threaded<BM_MutexRecursive_Pthread>)->Name("Threaded/MutexRecursive_Pthread");
BENCHMARK(threaded<BM_SemaphorePostWait_Quorvel>)->Name("Threaded/SemaphorePostWait_Quorvel");
BENCHMARK(threaded<BM_SemaphorePostWait_Posix>)->Name("Threaded/SemaphorePostWait_Posix");

}  // namespace

BENCHMARK_MAIN();
