/*
 * Networking: address text and masks, interface queries, resolution and sockets.
 */
#ifndef QUORVEL_NET_H
#define QUORVEL_NET_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel/export.h"
#include "quorvel/platform_types.h"

QRVL_BEGIN_DECLS

/* ---- Interface, gateway and DNS-server queries -------------------------- */

/* Every query below asks the system afresh (interfaces and addresses, the
   routing table's default routes, /etc/resolv.conf) and caches nothing;
   each runs the one-time network start-up first.  family is AF_INET or
   AF_INET6 (the platform's numbers); a negative index counts as 0.  Texts
   go to caller buffers: IPv4 addresses at most 16 bytes, IPv6 addresses at
   most 40 and adapter names at most 260, NUL included.  All are safe from
   several threads at once. */

/* GetLIPNum returns the number of usable local addresses of family: IPv4
   addresses of interfaces that have a default gateway, IPv6 addresses of
   interfaces that are up and running, never 127.x, 0.0.0.0, 169.254.x,
   ::1 or fe80:: ones.  0 when there are none, on failure and for another
   family. */
QRVL_API int32_t GetLIPNum(int32_t family);

/* GetNLIP returns the prefix length of the index-th usable address (in
   interface index order, then each interface's order) and writes its text
   to ip (when not NULL); -1 when there is no such address, for another
   family or when the system cannot be asked (ip is then untouched); the
   start-up code (-11 to -14) when the network start-up fails. */
QRVL_API int32_t GetNLIP(int32_t family, int32_t index, char *ip);

/* GetNLIP2 is GetNLIP that also writes the name of the interface holding
   the address to adapterName (when not NULL). */
QRVL_API int32_t GetNLIP2(int32_t family, int32_t index, char *ip, char *adapterName);

/* GetDefaultGateway writes the default gateway's text to gateway (when not
   NULL; the result is 0 either way) and returns 0: for AF_INET the
   gateway of the first interface with an IPv4 default route, for AF_INET6
   the first running interface's.  Where an interface has several default
   routes, the lowest-metric one counts.  -1 when there is none, on failure
   or for another family. */
QRVL_API int32_t GetDefaultGateway(int32_t family, char *gateway);

/* GetDefaultLIP chooses the address a program should present as its own:
   the default local IPv4 address when there is one, else the IPv6 one.
   Among several usable addresses of a family the first in the default
   gateway's subnet wins, else the first.  Writes its family to *family and
   its text to ip (each when not NULL) and returns its prefix length; with
   none, "0.0.0.0", AF_INET and 32. */
QRVL_API int32_t GetDefaultLIP(int32_t *family, char *ip);

/* GetSpecificLIP is the default local address of one family: its prefix
   length and text; with none "0.0.0.0" and 32 (AF_INET) or "::" and 128
   (AF_INET6); for another family the empty text and 0. */
QRVL_API int32_t GetSpecificLIP(int32_t family, char *ip);

/* GetDnsIPNum returns the number of name servers of family in
   /etc/resolv.conf when the host has a primary adapter for that family (the
   one GetDefaultGateway reports), else 0; 0 on failure or for another
   family. */
QRVL_API int32_t GetDnsIPNum(int32_t family);

/* GetDnsIP writes the text of the index-th of those name servers to out and
   returns 0; -1 when there is none (and for an AF_INET6 server with out
   NULL; an AF_INET one gives 0 and writes nothing), on failure or for
   another family; the start-up code (-11 to -14) when the network start-up
   fails. */
QRVL_API int32_t GetDnsIP(int32_t family, int32_t index, char *out);

QRVL_END_DECLS

#endif /* QUORVEL_NET_H */
