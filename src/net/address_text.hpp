// Address text writers shared by the converters and the mask makers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::detail {

// Longest texts the writers produce, without the NUL.
inline constexpr size_t kIpv4TextMax = 15;
inline constexpr size_t kIpv6TextMax = 39;

// Writes the 4 bytes as "%d.%d.%d.%d" with a NUL; returns the length.
size_t write_ipv4_text(const uint8_t *address, char *out);

// Writes the 16 bytes as IPv6 text with a NUL (see inet_ntopx); returns
// the length.  out must hold kIpv6TextMax + 1 bytes.
size_t write_ipv6_text(const uint8_t *address, char *out);

}  // namespace quorvel::detail
