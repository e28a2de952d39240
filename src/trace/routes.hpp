// Where finished lines go besides the console: the route slots and the
// caller's output function.  Read by the emitting thread without a lock.
#pragma once

#include <atomic>

#include "quorvel/trace.h"

namespace quorvel::detail {

inline constexpr int kRouteSlots = 3;

extern std::atomic<DebugInfoRoute> g_routes[kRouteSlots];
extern std::atomic<DebugOutputFunc> g_output;

}  // namespace quorvel::detail
