/** @file
 * Networking: address text and masks, interface queries, resolution and sockets.
 *
 * Address families are the platform's own numbers (QRVL_AF_INET is 2 and
 * QRVL_AF_INET6 is 10 on Linux).  An IPv4 address is 4 bytes and an IPv6
 * address 16 bytes, both in network byte order; read as a uint32_t, an IPv4
 * address is the value the C library's inet_addr() returns.
 */
#ifndef QUORVEL_NET_H
#define QUORVEL_NET_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  include <winsock2.h>
#  include <ws2tcpip.h>
#else
#  include <netinet/in.h>
#endif

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

/* ---- Address text and masks --------------------------------------------- */

/** @name Address text and masks */
/** @{ */

/** QRVL_AF_INET is the platform's number of the IPv4 address family. */
#define QRVL_AF_INET AF_INET
/** QRVL_AF_INET6 is the platform's number of the IPv6 address family. */
#define QRVL_AF_INET6 AF_INET6

/* Buffer sizes that hold any text the address functions write, with its
   NUL: "255.255.255.255" and eight groups of four hex digits. */
/** QRVL_IPV4_TEXT_SIZE holds any IPv4 text with its NUL ("255.255.255.255"). */
#define QRVL_IPV4_TEXT_SIZE 16
/** QRVL_IPV6_TEXT_SIZE holds any IPv6 text with its NUL (eight groups of four
   hex digits). */
#define QRVL_IPV6_TEXT_SIZE 40

/** mixaddr holds either socket address of the platform: the IPv4 form is its
   sockaddr_in (16 bytes), the IPv6 form its sockaddr_in6 (28 bytes).  Both
   begin with the family (host order) and the port (network order), so
   `family` can be read whichever form is filled; `sa` is the view socket
   calls take. */
typedef union mixaddr {
  uint16_t family;         /**< the address family, in either form */
  struct sockaddr sa;      /**< the view socket calls take */
  struct sockaddr_in v4;   /**< the IPv4 form */
  struct sockaddr_in6 v6;  /**< the IPv6 form */
} mixaddr;

/** cstest_big_endian returns 1 when the host stores the most significant
   byte of a 16-bit value first, 0 otherwise (0 on x86).  Thread-safe. */
QRVL_API uint8_t cstest_big_endian(void);

/** mixaddr_len returns the length to hand to socket calls with addr: 28 when
   the low 8 bits of addr.family are QRVL_AF_INET6, 16 for anything else
   (QRVL_AF_INET included).  Thread-safe. */
QRVL_API int32_t mixaddr_len(mixaddr addr);

/** inet_ptonx converts address text to its network-order bytes.
   family QRVL_AF_INET: text is read as inet_addr() reads it (shortened,
   octal and hexadecimal forms, trailing white space and what follows it);
   dst (4 bytes) receives the address and the result is 1, or dst receives
   0.0.0.0 and the result is 0.  "255.255.255.255" cannot be told from a
   rejection there, so it stores 0.0.0.0 and yields 0.
   family QRVL_AF_INET6: dst (16 bytes) receives the address and the result
   is 1; 0 for text that is not a well-formed address (a second "::", a
   single leading ':', a group of five digits, too few or too many groups);
   -1 for a character outside hex digits, ':' and '.', a ninth group closed
   by ':', or an embedded IPv4 part that does not fit or is rejected as
   above.  A ':' right after the last group is accepted (1::2: is 1::2).
   dst is written only when the result is 1.  Text that inet_ntopx writes
   reads back, except ::255.255.255.255 and ::ffff:255.255.255.255, whose
   IPv4 part is taken for a rejection.
   -1 and nothing written when src or dst is NULL or family is another
   value.  Thread-safe. */
QRVL_API int32_t inet_ptonx(int32_t family, const char *src, void *dst);

/** inet_ntopx writes the text of the address at src (4 bytes for
   QRVL_AF_INET, 16 for QRVL_AF_INET6) into dst, which has size bytes, and
   returns dst.  IPv4 is dotted decimal.  IPv6 is lower-case hex groups
   without leading zeros, the longest run of zero groups (the leftmost of
   equal runs, a single zero group included) written as "::"; IPv4-mapped
   addresses read ::ffff:a.b.c.d, and addresses whose first 12 bytes are zero
   read ::a.b.c.d unless they are :: or ::1.  Returns NULL, leaving dst as
   it was, when src or dst is NULL, family is another value, or the text
   and its NUL do not fit in size bytes.  Thread-safe. */
QRVL_API char *inet_ntopx(int32_t family, const void *src, char *dst, int32_t size);

/** GetIPvStyle classifies text up to its NUL or the first space, tab, CR or
   LF: 4 for IPv4-style text (three dots, no empty part, hex letters count
   as digits, no range check), 6 for IPv6-style text (at least two colons;
   with dots only the form ::ffff:a.b.c.d), 0 for anything else or NULL.
   It checks the shape only; inet_ptonx decides.  Thread-safe. */
QRVL_API int32_t GetIPvStyle(const char *text);

/** GetIPv4PrefixLen returns the number of one bits in mask.  Thread-safe. */
QRVL_API int32_t GetIPv4PrefixLen(uint32_t mask);

/** GetIPv6PrefixLen returns the prefix length (0-128) of the 16-byte mask
   at mask.  The bytes are walked from the last: a zero byte counts 8 host
   bits, a 0xff byte ends the walk, any other byte counts its trailing zero
   bits; the result is 128 minus the host bits, which is the prefix length
   of every contiguous mask.  Thread-safe. */
QRVL_API int32_t GetIPv6PrefixLen(const void *mask);

/** MakeIPv4MaskAddr makes the mask of a prefix length, clamped to 0-32:
   maskText (QRVL_IPV4_TEXT_SIZE bytes, or NULL) receives its dotted text
   and mask (or NULL) its network-order value.  Thread-safe. */
QRVL_API void MakeIPv4MaskAddr(int32_t prefix_len, char *maskText, uint32_t *mask);

/** MakeIPv6MaskAddr makes the mask of a prefix length, clamped to 0-128:
   maskText (QRVL_IPV6_TEXT_SIZE bytes, or NULL) receives its text as
   inet_ntopx writes it (ffff:ffff:ffff:ffff:: for 64) and mask (16 bytes,
   or NULL) its bytes.  Thread-safe. */
QRVL_API void MakeIPv6MaskAddr(int32_t prefix_len, char *maskText, void *mask);

/** GetNBroadcastIP writes the directed broadcast address of ip in a subnet
   of prefix_len bits (clamped to 0-32) as dotted text into out
   (QRVL_IPV4_TEXT_SIZE bytes, or NULL) and returns 0.  Returns -1, out
   untouched, when GetIPvStyle(ip) is not 4.  ip is read by inet_addr(), so
   IPv4-style text it rejects counts as 255.255.255.255.  Thread-safe. */
QRVL_API int32_t GetNBroadcastIP(const char *ip, int32_t prefix_len, char *out);
/** @} */

/* ---- Interface, gateway and DNS-server queries -------------------------- */

/** @name Interface, gateway and DNS-server queries
   Every query below asks the system afresh (interfaces and addresses, the
   routing table's default routes, /etc/resolv.conf) and caches nothing;
   each runs the one-time network start-up first.  family is QRVL_AF_INET
   or QRVL_AF_INET6 (the platform's numbers); a negative index counts as 0.  Texts
   go to caller buffers: IPv4 addresses at most 16 bytes, IPv6 addresses at
   most 40 and adapter names at most 260, NUL included.  All are safe from
   several threads at once. */
/** @{ */

/** GetLIPNum returns the number of usable local addresses of family: IPv4
   addresses of interfaces that have a default gateway, IPv6 addresses of
   interfaces that are up and running, never 127.x, 0.0.0.0, 169.254.x,
   ::1 or fe80:: ones.  0 when there are none, on failure and for another
   family.  Thread-safe. */
QRVL_API int32_t GetLIPNum(int32_t family);

/** GetNLIP returns the prefix length of the index-th usable address (in
   interface index order, then each interface's order) and writes its text
   to ip (when not NULL); -1 when there is no such address, for another
   family or when the system cannot be asked (ip is then untouched); the
   start-up code (-11 to -14) when the network start-up fails.  Thread-safe. */
QRVL_API int32_t GetNLIP(int32_t family, int32_t index, char *ip);

/** GetNLIP2 is GetNLIP that also writes the name of the interface holding
   the address to adapterName (when not NULL).  Thread-safe. */
QRVL_API int32_t GetNLIP2(int32_t family, int32_t index, char *ip, char *adapterName);

/** GetDefaultGateway writes the default gateway's text to gateway (when not
   NULL; the result is 0 either way) and returns 0: for AF_INET the
   gateway of the first interface with an IPv4 default route, for AF_INET6
   the first running interface's.  Where an interface has several default
   routes, the lowest-metric one counts.  -1 when there is none, on failure
   or for another family.  Thread-safe. */
QRVL_API int32_t GetDefaultGateway(int32_t family, char *gateway);

/** GetDefaultLIP chooses the address a program should present as its own:
   the default local IPv4 address when there is one, else the IPv6 one.
   Among several usable addresses of a family the first in the default
   gateway's subnet wins, else the first.  Writes its family to *family and
   its text to ip (each when not NULL) and returns its prefix length; with
   none, "0.0.0.0", AF_INET and 32.  Thread-safe. */
QRVL_API int32_t GetDefaultLIP(int32_t *family, char *ip);

/** GetSpecificLIP is the default local address of one family: its prefix
   length and text; with none "0.0.0.0" and 32 (AF_INET) or "::" and 128
   (AF_INET6); for another family the empty text and 0.  Thread-safe. */
QRVL_API int32_t GetSpecificLIP(int32_t family, char *ip);

/** GetDnsIPNum returns the number of name servers of family in
   /etc/resolv.conf when the host has a primary adapter for that family (the
   one GetDefaultGateway reports), else 0; 0 on failure or for another
   family.  Thread-safe. */
QRVL_API int32_t GetDnsIPNum(int32_t family);

/** GetDnsIP writes the text of the index-th of those name servers to out and
   returns 0; -1 when there is none (and for an AF_INET6 server with out
   NULL; an AF_INET one gives 0 and writes nothing), on failure or for
   another family; the start-up code (-11 to -14) when the network start-up
   fails.  Thread-safe. */
QRVL_API int32_t GetDnsIP(int32_t family, int32_t index, char *out);
/** @} */

/* ---- Host-name resolution ------------------------------------------------ */

/** @name Host-name resolution
   Result codes of GetAddrByDNS and GetAddrInfox: 0 nothing found, 1 IPv4
   only, 2 IPv6 only, 3 both.  The IPv4 text buffers they fill need 16
   bytes, the IPv6 ones 40. */
/** @{ */

/** DomainRecord is one entry of the resolver's domain table, 288 bytes on
   every target.  A caller handing its own table to SetDomainTable may read
   the records; idle_ticks is changed by the resolver thread alone, with
   aligned 32-bit atomic stores. */
typedef struct DomainRecord {
  char name[256];      /**< host name, NUL-terminated; empty: a free record */
  uint32_t idle_ticks; /**< idle passes that reached the record since its last refresh */
  uint32_t last_query; /**< millisecond tick of the last re-posting; 0 = none */
  uint32_t queue_link; /**< one element of the post queue (a record index) */
  uint8_t ipv4[4];     /**< network order; 0.0.0.0 = none stored */
  uint8_t ipv6[16];    /**< network order; all zero = none stored */
} DomainRecord;

/** SetDomainTable makes the a * b bytes at memory the resolver's domain
   table, (a * b) / 288 records (at most 2147483647), when that is at least
   one record; less, or a NULL memory, keeps the built-in table of 32.  Then it starts the
   resolver: its result (0, or -1 when the resolver thread cannot start).
   Once the resolver has started it changes nothing and returns 0.  Names
   already in memory stay; every other field is cleared.  memory must stay
   valid for the life of the process.  Thread-safe. */
QRVL_API int32_t SetDomainTable(void *memory, uint32_t a, uint32_t b);

/** GetAddrByDNS answers at once from the domain table and never waits on
   the network.  ipv4 and ipv6 (each may be NULL) receive the stored
   addresses of name, "0.0.0.0" and "::" when none is stored; the result is
   the code of the texts written.  A name seen for the first time takes the
   next record in turn (the oldest name is forgotten) and is queued for the
   resolver thread; a known name is queued again for refreshing, except
   within 5000 ms of its last re-posting, when the result is 0 even though
   the texts hold its addresses.  When the queue is full the posting is
   dropped with a warning.  The first call starts the resolver thread.
   Returns 0 with the default texts for a NULL name, a name of 256
   characters or more (refused: it does not fit a record) and when the
   resolver cannot start.  Thread-safe. */
QRVL_API int32_t GetAddrByDNS(const char *name, char *ipv4, char *ipv6);

/** GetAddrInfox resolves name on the calling thread, waiting for the
   platform resolver, and writes the first IPv4 and IPv6 answers into ipv4
   and ipv6 (either may be NULL; "0.0.0.0" and "::" for a family not
   found).  Returns the result code; 0 for a NULL name.  When the platform
   resolver fails it falls back to the older host-entry lookup, which finds
   IPv4 addresses only.  It does not use the domain table.  Thread-safe. */
QRVL_API int32_t GetAddrInfox(const char *name, char *ipv4, char *ipv6);

/** IPv4MappedIPv6 writes into out (at least 73 bytes) the address text to
   use for in under family: with QRVL_AF_INET6 and IPv4 text, the NAT64 address
   (the prefix learnt from the last synthesized answer, initially
   "64:ff9b::", followed by the four bytes as "%02x%02x:%02x%02x", e.g.
   10.0.0.1 gives 64:ff9b::0a00:0001); with QRVL_AF_INET6 and IPv6 text a copy
   of in; with QRVL_AF_INET a copy of in, which must be IPv4 text.  Returns 0, or
   -1 for NULL arguments, text that is no address, another family or
   in of IPv6 text for QRVL_AF_INET (out then holds the copy; otherwise it is
   empty).  in is read up to 63 characters.  Starts the resolver when it
   has not run yet.  Thread-safe. */
QRVL_API int32_t IPv4MappedIPv6(char *out, const char *in, int32_t family);
/** @} */

/* ---- Sockets --------------------------------------------------------------- */

/** @name Sockets */
/** @{ */

/* A socket is the platform's socket handle as a 32-bit value. */
/** QRVL_NO_SOCKET is the socket value that stands for no socket. */
#define QRVL_NO_SOCKET (-1)

/* None of the socket functions starts the platform's socket layer; where the
   platform needs one, any interface or resolver query above starts it for
   the process. */

/** SetSocketNonblock switches socket s to non-blocking mode: 0 on success,
   -1 when the platform refuses (s is not an open socket).  Thread-safe. */
QRVL_API int32_t SetSocketNonblock(int32_t s);

/** SetSocketNoSIGPIPE does nothing and returns 0 for every argument.  Linux
   has no per-socket switch for the broken-pipe signal: pass MSG_NOSIGNAL to
   send() on stream sockets (or ignore SIGPIPE for the process) instead.
   Thread-safe. */
QRVL_API int32_t SetSocketNoSIGPIPE(int32_t s);

/** CreateBroadcastSocket returns a new IPv4 UDP socket that may send and
   receive broadcasts (SO_BROADCAST), with SO_REUSEADDR set, bound to
   0.0.0.0 and local_port (host order; 0 lets the system pick a port), or -1.
   Success is reported at level D and each failure at level E under the tag
   "quorvel"; a failure leaves no socket open.  reserved is not read.  The
   caller owns the socket and closes it.  Thread-safe. */
QRVL_API int32_t CreateBroadcastSocket(int32_t reserved, uint16_t local_port);
/** @} */

QRVL_END_DECLS

#endif /* QUORVEL_NET_H */
