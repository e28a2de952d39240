// Output routes and the output function.  Slots are claimed and emptied
// with compare-and-swap, so concurrent set-up calls never take the same
// slot and the trace path needs no lock to read them.
#include "trace/routes.hpp"

#include "trace/trace_core.hpp"
#include "trace/trace_messages.hpp"

namespace quorvel::detail {

std::atomic<DebugInfoRoute> g_routes[kRouteSlots] = {};
std::atomic<DebugOutputFunc> g_output{nullptr};

}  // namespace quorvel::detail

using quorvel::detail::g_routes;
using quorvel::detail::library_error;
using quorvel::detail::kRouteSlots;

// Once installed, an output function can be replaced but never removed.
extern "C" void SetDebugOutput(DebugOutputFunc output) {
  if (output == nullptr) return;
  quorvel::detail::g_output.store(output, std::memory_order_release);
}

extern "C" void AddDebugInfoRoute(DebugInfoRoute route) {
  if (route == nullptr) {
    library_error("%s", quorvel::detail::kRouteNullText);
    return;
  }
  for (int i = 0; i < kRouteSlots; ++i) {
    if (g_routes[i].load(std::memory_order_acquire) == route) {
      library_error("%s", quorvel::detail::kRouteSetBeforeText);
      return;
    }
  }
  for (int i = 0; i < kRouteSlots; ++i) {
    DebugInfoRoute empty = nullptr;
    if (g_routes[i].compare_exchange_strong(empty, route, std::memory_order_acq_rel)) return;
  }
  library_error("%s", quorvel::detail::kRouteArrayFullText);
}

extern "C" void DelDebugInfoRoute(DebugInfoRoute route) {
  if (route == nullptr) return;
  for (int i = 0; i < kRouteSlots; ++i) {
    DebugInfoRoute expected = route;
    if (g_routes[i].compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel)) return;
  }
  library_error("%s", quorvel::detail::kRouteNotFoundText);
}
