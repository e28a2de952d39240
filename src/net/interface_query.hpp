// The walks shared by the interface, gateway and name-server queries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/config_list.hpp"
#include "platform/platform.hpp"

namespace quorvel::detail {

inline constexpr int32_t kIPv4 = platform::kConfigFamilyIPv4;
inline constexpr int32_t kIPv6 = platform::kConfigFamilyIPv6;

// Caller buffers hold at most this much, NUL included.
inline constexpr size_t kIPv4TextSize = 16;
inline constexpr size_t kIPv6TextSize = 40;
inline constexpr size_t kAdapterNameSize = 260;
// The work text addresses are formatted into.
inline constexpr int32_t kWorkTextSize = 64;

// address as text (the inet_ntopx form); "" when it cannot be formatted.
void address_text(const platform::ConfigAddress &address, char (&text)[kWorkTextSize]);

// Copies text to out, cut to size bytes with its NUL; out may be null.
void copy_text(char *out, const char *text, size_t size);

// The family's caller buffer size for address texts.
inline size_t text_size(int32_t family) { return family == kIPv4 ? kIPv4TextSize : kIPv6TextSize; }

// The usable local addresses of family (2 or the platform's IPv6) in walk
// order.  False when a platform query fails.
bool usable_addresses(int32_t family, AddressList *list);

// The family's default gateway: for IPv4 the first interface's whose
// gateway is not 0.0.0.0, for IPv6 the first running interface's.  False
// when there is none or a platform query fails.
bool default_gateway(int32_t family, platform::ConfigAddress *gateway);

}  // namespace quorvel::detail
