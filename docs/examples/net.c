/* Net: address text and masks, all computed locally (no network needed). */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

#define CHECK(x) if (!(x)) { fprintf(stderr, "failed: %s\n", #x); return 1; }

int main(void) {
  uint8_t v4[4], v6[16];
  char text[QRVL_IPV6_TEXT_SIZE];
  uint32_t mask;

  /* Text to network-order bytes and back. */
  CHECK(inet_ptonx(QRVL_AF_INET, "192.168.1.20", v4) == 1);
  CHECK(v4[0] == 192 && v4[3] == 20);
  CHECK(inet_ptonx(QRVL_AF_INET6, "2001:DB8:0:0:0:0:0:1", v6) == 1);
  CHECK(strcmp(inet_ntopx(QRVL_AF_INET6, v6, text, sizeof text), "2001:db8::1") == 0);
  CHECK(inet_ntopx(QRVL_AF_INET6, v6, text, 5) == NULL); /* too small: refused */
  CHECK(inet_ptonx(QRVL_AF_INET6, "1::2::3", v6) == 0);  /* a second "::" */

  /* Shape only: GetIPvStyle tells which parser to use. */
  CHECK(GetIPvStyle("10.0.0.1") == 4 && GetIPvStyle("fe80::1") == 6 && GetIPvStyle("host") == 0);

  /* Masks and prefix lengths. */
  MakeIPv4MaskAddr(20, text, &mask);
  CHECK(strcmp(text, "255.255.240.0") == 0 && GetIPv4PrefixLen(mask) == 20);
  MakeIPv6MaskAddr(64, text, v6);
  CHECK(strcmp(text, "ffff:ffff:ffff:ffff::") == 0 && GetIPv6PrefixLen(v6) == 64);
  CHECK(GetNBroadcastIP("192.168.1.20", 24, text) == 0 && strcmp(text, "192.168.1.255") == 0);
  return 0;
}
