// What the resolver's files share: the domain table and its post queue,
// the host lookup and the NAT64 prefix.
#pragma once

#include <cstdint>

#include "quorvel/concurrency.h"
#include "quorvel/net.h"

namespace quorvel::detail {

// The domain table and the post queue kept in its records' queue links.
// table_lock guards the records (except idle_ticks, which only the
// resolver thread changes), queue_length and next_slot.
struct DomainTable {
  DomainRecord *records;
  uint32_t count;
  uint32_t queue_length;
  uint32_t next_slot;
  Mutex table_lock;
  Semaphore queue_signal;  // one unit per posted index
  ThreadCtl thread;
};
extern DomainTable g_domains;

// Runs the resolver start-up once per process: clears the table, creates
// the locks and the queue signal and starts the resolver thread.  table
// (when not null, with count records) replaces the built-in table first.
// Returns 0 when the resolver runs (also when it already ran before), -1
// when it cannot start.  started_before, when given, tells which.
int32_t resolver_startup(DomainRecord *table, uint32_t count, bool *started_before);

// The body of the resolver thread; never returns.
void *resolver_thread_main(void *unused);

// Resolves name on the calling thread into ipv4 and ipv6 (zero for a
// family not found) and returns the result code (0-3); reports each step.
int32_t host_lookup(const char *name, uint8_t ipv4[4], uint8_t ipv6[16]);

// Learns the NAT64 prefix from a lookup that found both families, when the
// IPv6 answer ends in the IPv4 answer.
void learn_nat64_prefix(const uint8_t ipv4[4], const uint8_t ipv6[16]);

// Creates the prefix lock; part of the resolver start-up.
int32_t nat64_prefix_init();

}  // namespace quorvel::detail
