// The debug queue's internal seam.
#pragma once

#include <cstdint>

#include "quorvel/concurrency.h"

namespace quorvel::detail {

// How SetDebugQueue starts its detached writer: kCreateDThread, replaceable
// so that the failed start-up can be exercised.
using DebugQueueThreadStarter = int32_t (*)(ThreadCtl *ctl, int32_t stack_size,
                                            ThreadRoutine routine, void *argument);
extern DebugQueueThreadStarter g_debug_queue_thread_starter;

}  // namespace quorvel::detail
