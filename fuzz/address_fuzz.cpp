// Feeds arbitrary text through inet_ptonx for both families.  Whatever the
// text, the result is -1, 0 or 1; IPv6 bytes are written only on 1 and
// read back from the text inet_ntopx makes of them; IPv4 text reads as
// the C library's inet_addr reads it.  A found case is kept in
// build/fuzz/fuzz/crash-*; run the target on that file to see it again.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quorvel/net.h"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 256) return 0;
  char *text = static_cast<char *>(std::malloc(size + 1));
  std::memcpy(text, data, size);
  text[size] = '\0';

  uint8_t bytes[16], back[16];
  std::memset(bytes, 0xee, sizeof bytes);
  const int32_t r6 = inet_ptonx(QRVL_AF_INET6, text, bytes);
  check(r6 >= -1 && r6 <= 1);
  if (r6 == 1) {
    char again[QRVL_IPV6_TEXT_SIZE];
    check(inet_ntopx(QRVL_AF_INET6, bytes, again, sizeof again) == again);
    // The all-ones IPv4 part is written but, as inet_addr's failure value,
    // not read back.
    if (std::strstr(again, "255.255.255.255") == nullptr)
      check(inet_ptonx(QRVL_AF_INET6, again, back) == 1 && std::memcmp(back, bytes, 16) == 0);
    if (std::strchr(text, '.') == nullptr) check(GetIPvStyle(text) == 6);
  } else {
    for (uint8_t b : bytes) check(b == 0xee);
  }

  uint32_t v4 = 1;
  const in_addr_t expected = inet_addr(text);
  const int32_t r4 = inet_ptonx(QRVL_AF_INET, text, &v4);
  check(r4 == (expected == INADDR_NONE ? 0 : 1));
  check(v4 == (expected == INADDR_NONE ? 0 : expected));
  std::free(text);
  return 0;
}
