#include "net/net_startup.hpp"

#include <atomic>

#include "common/console_line.hpp"
#include "platform/platform.hpp"

namespace quorvel::detail {
namespace {

// Written without a lock: concurrent first calls may each run the steps,
// which the platform allows.
std::atomic<bool> g_started{false};

// The lines and codes of the failed steps, in the order they run.
constexpr char kSocketLayerLine[] = "can not WSAStartup()..\r\n";

struct ConfigFailure {
  platform::ConfigStart step;
  int32_t code;
  const char *line;
};

constexpr ConfigFailure kConfigFailures[] = {
    {platform::ConfigStart::kNoModule, -12, "can not load: iphlpapi.dll..\r\n"},
    {platform::ConfigStart::kNoAdaptersEntry, -13, "can not load API: GetAdapterInfo()..\r\n"},
    {platform::ConfigStart::kNoPerAdapterEntry, -14, "can not load API: GetPerAdapterInfo()..\r\n"},
};

}  // namespace

int32_t network_startup() {
  if (g_started.load(std::memory_order_acquire)) return 0;
  if (platform::socket_layer_start() != 0) {
    print_console_line(kSocketLayerLine);
    return -11;
  }
  platform::ConfigStart step = platform::config_queries_start();
  for (const ConfigFailure &failure : kConfigFailures) {
    if (failure.step != step) continue;
    print_console_line(failure.line);
    return failure.code;
  }
  g_started.store(true, std::memory_order_release);
  return 0;
}

}  // namespace quorvel::detail
