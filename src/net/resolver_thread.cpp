// The resolver thread: takes the newest posting, or after a second without
// one walks the table for a record due for refreshing, and resolves it
// with no lock held.
#include <cstring>

#include "common/library_log.hpp"
#include "net/resolver.hpp"
#include "platform/platform.hpp"

namespace quorvel::detail {

namespace {

constexpr int32_t kIdleWaitMs = 1000;
constexpr uint32_t kRefreshTicks = 300;

bool is_zero(const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

void process_slot(uint32_t slot) {
  DomainTable &t = g_domains;
  if (slot >= t.count) return;  // a queue link the caller overwrote
  DomainRecord &r = t.records[slot];
  char name[sizeof(r.name)];
  MutexLock(&t.table_lock);
  if (r.name[0] == '\0') {
    MutexUnlock(&t.table_lock);
    return;
  }
  memcpy(name, r.name, sizeof(name) - 1);
  name[sizeof(name) - 1] = '\0';
  MutexUnlock(&t.table_lock);

  uint8_t ipv4[4];
  uint8_t ipv6[16];
  const int32_t code = host_lookup(name, ipv4, ipv6);
  if (code > 0) library_progress("query \"%s\" done (%d) !!", name, code);
  if (code == 3) learn_nat64_prefix(ipv4, ipv6);

  // The record may have gone to another name while the lookup ran.
  MutexLock(&t.table_lock);
  if (strcmp(r.name, name) == 0) {
    if (!is_zero(ipv4, sizeof(ipv4))) memcpy(r.ipv4, ipv4, sizeof(ipv4));
    if (!is_zero(ipv6, sizeof(ipv6))) memcpy(r.ipv6, ipv6, sizeof(ipv6));
  }
  MutexUnlock(&t.table_lock);
}

void take_posting() {
  DomainTable &t = g_domains;
  bool taken = false;
  uint32_t slot = 0;
  MutexLock(&t.table_lock);
  if (t.queue_length > 0) {
    --t.queue_length;
    slot = t.records[t.queue_length].queue_link;
    taken = true;
  }
  MutexUnlock(&t.table_lock);
  if (taken) process_slot(slot);
}

// Counts one idle pass on each record up to the first that is due, which
// is refreshed; the records after it wait for a later pass.
void idle_pass() {
  DomainTable &t = g_domains;
  for (uint32_t i = 0; i < t.count; ++i) {
    uint32_t *ticks = &t.records[i].idle_ticks;
    if (__atomic_add_fetch(ticks, 1u, __ATOMIC_RELAXED) >= kRefreshTicks) {
      __atomic_store_n(ticks, 0u, __ATOMIC_RELAXED);
      process_slot(i);
      return;
    }
  }
}

}  // namespace

void *resolver_thread_main(void *) {
  for (;;) {
    const int32_t signalled = SemaphoreWait(&g_domains.queue_signal, kIdleWaitMs);
    if (signalled > 0) {
      take_posting();
    } else if (signalled == 0) {
      idle_pass();
    } else {
      platform::sleep_ms(1000);
    }
  }
  return nullptr;
}

}  // namespace quorvel::detail
