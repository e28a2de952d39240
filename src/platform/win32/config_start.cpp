// Loading the IP configuration module and fetching its lists.
//
// The module is looked up once per process under a one-time initialisation
// of the system's: concurrent first callers wait for the one that loads
// it, and a load that fails leaves the initialisation undone, so the next
// call tries afresh.  The module stays loaded for the life of the process.
#include "platform/win32/iphlpapi.hpp"

#include "platform/platform.hpp"

namespace quorvel::platform {
namespace iphlp {
namespace {

static_assert(AF_INET == kConfigFamilyIPv4 && AF_INET6 == kConfigFamilyIPv6);

struct Entries {
  decltype(&::GetAdaptersInfo) adapters_info;
  decltype(&::GetPerAdapterInfo) per_adapter_info;
  decltype(&::GetAdaptersAddresses) adapter_addresses;  // null: no IPv6 queries
};

INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;
// Written only inside the one-time initialisation, read only after it.
Entries g_entries;

// GetProcAddress gives every entry one type; void (*)() is the type a
// function pointer may pass through on its way to the real one.
template <typename Entry>
Entry entry(HMODULE module, const char *name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

BOOL CALLBACK load(INIT_ONCE *, void *parameter, void **) {
  ConfigStart *step = static_cast<ConfigStart *>(parameter);
  HMODULE module = LoadLibraryA("iphlpapi.dll");
  if (module == nullptr) {
    *step = ConfigStart::kNoModule;
    return FALSE;
  }
  Entries found{entry<decltype(Entries::adapters_info)>(module, "GetAdaptersInfo"),
                entry<decltype(Entries::per_adapter_info)>(module, "GetPerAdapterInfo"),
                entry<decltype(Entries::adapter_addresses)>(module, "GetAdaptersAddresses")};
  *step = found.adapters_info == nullptr      ? ConfigStart::kNoAdaptersEntry
          : found.per_adapter_info == nullptr ? ConfigStart::kNoPerAdapterEntry
                                              : ConfigStart::kReady;
  if (*step != ConfigStart::kReady) {
    FreeLibrary(module);
    return FALSE;
  }
  g_entries = found;
  return TRUE;
}

ConfigStart start() {
  ConfigStart step = ConfigStart::kNoModule;  // unless the loader finds otherwise
  return InitOnceExecuteOnce(&g_once, load, &step, nullptr) ? ConfigStart::kReady : step;
}

// The entries, loading the module on first use; null when it is unusable.
const Entries *entries() { return start() == ConfigStart::kReady ? &g_entries : nullptr; }

}  // namespace

bool fetch_adapters_info(SystemList *list) {
  const Entries *e = entries();
  return e != nullptr && list->fetch([e](void *buffer, ULONG *size) {
    return e->adapters_info(static_cast<IP_ADAPTER_INFO *>(buffer), size);
  });
}

bool fetch_per_adapter_info(ULONG index, SystemList *list) {
  const Entries *e = entries();
  return e != nullptr && list->fetch([e, index](void *buffer, ULONG *size) {
    return static_cast<ULONG>(
        e->per_adapter_info(index, static_cast<IP_PER_ADAPTER_INFO *>(buffer), size));
  });
}

bool fetch_adapter_addresses(ULONG family, ULONG flags, SystemList *list) {
  const Entries *e = entries();
  return e != nullptr && e->adapter_addresses != nullptr &&
         list->fetch([e, family, flags](void *buffer, ULONG *size) {
           return e->adapter_addresses(family, flags, nullptr,
                                       static_cast<IP_ADAPTER_ADDRESSES *>(buffer), size);
         });
}

bool ipv4_of(const IP_ADDRESS_STRING &text, uint8_t bytes[4]) {
  char terminated[sizeof text.String + 1];
  memcpy(terminated, text.String, sizeof text.String);
  terminated[sizeof text.String] = '\0';
  const uint32_t address = ipv4_text_to_address(terminated);
  if (address == kIpv4Rejected && strcmp(terminated, "255.255.255.255") != 0) return false;
  memcpy(bytes, &address, 4);
  return true;
}

}  // namespace iphlp

ConfigStart config_queries_start() { return iphlp::start(); }

}  // namespace quorvel::platform
