// The host byte-order probe and the length of a mixaddr.
#include <cstdint>
#include <cstring>

#include "quorvel/net.h"

extern "C" QRVL_API uint8_t cstest_big_endian(void) {
  const uint16_t one = 1;
  uint8_t first;
  std::memcpy(&first, &one, 1);
  return first == 0 ? 1 : 0;
}

extern "C" QRVL_API int32_t mixaddr_len(mixaddr addr) {
  // The family's low-order byte is its first byte on a little-endian host.
  uint8_t bytes[sizeof addr.family];
  std::memcpy(bytes, &addr.family, sizeof bytes);
  const uint8_t low = bytes[cstest_big_endian() ? 1 : 0];
  return low == (QRVL_AF_INET6 & 0xff) ? 28 : 16;
}
