// Thread start-up and join.
//
// The creator waits until the new thread has copied what it needs from the
// caller's ThreadCtl, so the caller may reuse routine and argument as soon
// as kCreateThread returns.  The wait is a semaphore on the creator's stack
// rather than a polling sleep: the creator wakes as soon as the copy is done.
#include "quorvel/concurrency.h"

#include "platform/platform.hpp"

namespace {

namespace platform = quorvel::platform;

struct Handover {
  ThreadCtl *ctl;
  platform::Semaphore taken;
};

void thread_main(void *raw) {
  Handover *handover = static_cast<Handover *>(raw);
  ThreadCtl *ctl = handover->ctl;
  // handle is not copied: the creator stores it only after the thread runs.
  const ThreadRoutine routine = ctl->routine;
  void *const argument = ctl->argument;
  const bool detached = ctl->detached != 0;
  __atomic_store_n(&ctl->started, static_cast<uint8_t>(1), __ATOMIC_RELEASE);
  // After this post neither ctl nor handover may be touched: the creator
  // returns and its stack frame is gone.
  platform::semaphore_post(&handover->taken);

  routine(argument);
  if (detached) platform::thread_detach_self();
}

int32_t create(ThreadCtl *t, int32_t stack_size, ThreadRoutine routine, void *argument,
               uint8_t detached) {
  if (t == nullptr) return -1;
  t->handle = 0;
  t->started = 0;
  t->detached = detached;
  t->routine = routine;
  t->argument = argument;
  if (routine == nullptr) return -1;

  Handover handover;
  handover.ctl = t;
  // A system semaphore (Windows) can fail to be made; waiting on one that
  // was not would never end.
  if (platform::semaphore_init(&handover.taken, 0, 1) != 0) return -1;
  const platform::ThreadStart start{thread_main, &handover};
  const size_t stack = stack_size < 0 ? 0u : static_cast<size_t>(stack_size);
  const uintptr_t handle = platform::thread_start(&start, stack);
  if (handle == 0) {
    platform::semaphore_destroy(&handover.taken);
    return -1;
  }
  t->handle = handle;
  while (platform::semaphore_wait(&handover.taken, -1) != platform::Wait::kFirst) {
  }
  platform::semaphore_destroy(&handover.taken);
  return 0;
}

}  // namespace

// A null block or routine is refused with -1 (handle 0) rather than
// starting a thread that could only crash.
extern "C" int32_t kCreateThread(ThreadCtl *t, int32_t stack_size, ThreadRoutine routine,
                                 void *argument) {
  return create(t, stack_size, routine, argument, 0);
}

extern "C" int32_t kCreateDThread(ThreadCtl *t, int32_t stack_size, ThreadRoutine routine,
                                  void *argument) {
  return create(t, stack_size, routine, argument, 1);
}

// A block whose creation failed (handle 0) has nothing to wait for.
extern "C" int32_t kThreadJoin(ThreadCtl t) {
  if (t.detached != 0 || t.handle == 0) return 0;
  platform::thread_join(t.handle);
  return 0;
}
