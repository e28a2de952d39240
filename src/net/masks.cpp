// Prefix lengths, netmasks and directed broadcast addresses.
#include <cstdint>
#include <cstring>

#include "net/address_text.hpp"
#include "platform/platform.hpp"
#include "quorvel/net.h"

namespace {

int32_t clamp(int32_t value, int32_t high) { return value < 0 ? 0 : value > high ? high : value; }

// The mask of prefix_len (0-32) bits as 4 network-order bytes.
void ipv4_mask_bytes(int32_t prefix_len, uint8_t *mask) {
  const uint32_t host = prefix_len == 0 ? 0 : ~uint32_t{0} << (32 - prefix_len);
  for (int i = 0; i < 4; ++i) mask[i] = static_cast<uint8_t>(host >> (24 - 8 * i));
}

}  // namespace

extern "C" QRVL_API int32_t GetIPv4PrefixLen(uint32_t mask) {
  return __builtin_popcount(mask);
}

extern "C" QRVL_API int32_t GetIPv6PrefixLen(const void *mask) {
  const auto *bytes = static_cast<const uint8_t *>(mask);
  int32_t host_bits = 0;
  for (int i = 15; i >= 0 && bytes[i] != 0xff; --i)
    host_bits += bytes[i] == 0 ? 8 : __builtin_ctz(bytes[i]);
  return 128 - host_bits;
}

extern "C" QRVL_API void MakeIPv4MaskAddr(int32_t prefix_len, char *maskText, uint32_t *mask) {
  uint8_t bytes[4];
  ipv4_mask_bytes(clamp(prefix_len, 32), bytes);
  if (maskText != nullptr) quorvel::detail::write_ipv4_text(bytes, maskText);
  if (mask != nullptr) std::memcpy(mask, bytes, 4);
}

extern "C" QRVL_API void MakeIPv6MaskAddr(int32_t prefix_len, char *maskText, void *mask) {
  const int32_t length = clamp(prefix_len, 128);
  uint8_t bytes[16] = {};
  std::memset(bytes, 0xff, static_cast<size_t>(length / 8));
  if (length % 8 != 0) bytes[length / 8] = static_cast<uint8_t>(0xff00u >> (length % 8));
  if (maskText != nullptr) quorvel::detail::write_ipv6_text(bytes, maskText);
  if (mask != nullptr) std::memcpy(mask, bytes, 16);
}

extern "C" QRVL_API int32_t GetNBroadcastIP(const char *ip, int32_t prefix_len, char *out) {
  if (GetIPvStyle(ip) != 4) return -1;
  uint32_t mask;
  MakeIPv4MaskAddr(prefix_len, nullptr, &mask);
  const uint32_t address = quorvel::platform::ipv4_text_to_address(ip);
  const uint32_t broadcast = (address & mask) | ~mask;
  if (out != nullptr) {
    uint8_t bytes[4];
    std::memcpy(bytes, &broadcast, 4);
    quorvel::detail::write_ipv4_text(bytes, out);
  }
  return 0;
}
