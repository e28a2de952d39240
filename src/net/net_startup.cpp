#include "net/net_startup.hpp"

#include <atomic>

#include "common/console_line.hpp"
#include "platform/platform.hpp"

namespace quorvel::detail {
namespace {

// Written without a lock: concurrent first calls may each run the steps,
// which the platform allows.
std::atomic<bool> g_started{false};

struct StartFailure {
  platform::NetworkStart step;
  int32_t code;
  const char *line;
};

constexpr StartFailure kFailures[] = {
    {platform::NetworkStart::kNoSocketLayer, -11, "can not WSAStartup()..\r\n"},
    {platform::NetworkStart::kNoConfigModule, -12, "can not load: iphlpapi.dll..\r\n"},
    {platform::NetworkStart::kNoAdaptersEntry, -13, "can not load API: GetAdapterInfo()..\r\n"},
    {platform::NetworkStart::kNoPerAdapterEntry, -14, "can not load API: GetPerAdapterInfo()..\r\n"},
};

}  // namespace

int32_t network_startup() {
  if (g_started.load(std::memory_order_acquire)) return 0;
  platform::NetworkStart step = platform::network_start();
  for (const StartFailure &failure : kFailures) {
    if (failure.step != step) continue;
    print_console_line(failure.line);
    return failure.code;
  }
  g_started.store(true, std::memory_order_release);
  return 0;
}

}  // namespace quorvel::detail
