// The domain table: answers from stored records, postings for the resolver
// thread, and the resolver's once-per-process start-up.
//
// The post queue is a stack of record indices living in the records'
// queue-link fields, so the newest posting is resolved first and the queue
// needs no memory beyond the table: its capacity is the record count.
#include <atomic>
#include <cstring>

#include "common/library_log.hpp"
#include "net/net_startup.hpp"
#include "net/resolver.hpp"
#include "platform/platform.hpp"

static_assert(sizeof(DomainRecord) == 288, "DomainRecord is part of the interface");

namespace quorvel::detail {

namespace {

constexpr uint32_t kBuiltinCount = 32;
constexpr uint32_t kMostRecords = 2147483647u;  // one queue-signal unit per record
constexpr uint32_t kHoldBackMs = 5000;

DomainRecord g_builtin[kBuiltinCount];

// 0 not started, 1 a start-up is running, 2 started.  Concurrent first
// calls wait for the one that claimed the start-up instead of repeating it.
std::atomic<int> g_state{0};

void clear_records() {
  for (uint32_t i = 0; i < g_domains.count; ++i) {
    DomainRecord &r = g_domains.records[i];
    __atomic_store_n(&r.idle_ticks, 0u, __ATOMIC_RELAXED);
    r.last_query = 0;
    r.queue_link = 0;
    memset(r.ipv4, 0, sizeof(r.ipv4));
    memset(r.ipv6, 0, sizeof(r.ipv6));
    r.name[sizeof(r.name) - 1] = '\0';
  }
}

int32_t start_once() {
  network_startup();  // its result is not examined: the resolver starts anyway
  clear_records();
  if (nat64_prefix_init() != 0) return -1;
  if (MutexInit(&g_domains.table_lock) != 0) return -1;
  if (SemaphoreInit(&g_domains.queue_signal, 0) != 0) {
    MutexFree(&g_domains.table_lock);
    return -1;
  }
  // kCreateThread returns once the thread runs and has taken its copy.
  if (kCreateThread(&g_domains.thread, 0, resolver_thread_main, nullptr) != 0) {
    SemaphoreFree(&g_domains.queue_signal);
    MutexFree(&g_domains.table_lock);
    return -1;
  }
  return 0;
}

int32_t find_record(const char *name) {
  for (uint32_t i = 0; i < g_domains.count; ++i) {
    if (strcmp(g_domains.records[i].name, name) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

uint32_t take_over_record(const char *name) {
  const uint32_t slot = g_domains.next_slot;
  DomainRecord &r = g_domains.records[slot];
  memcpy(r.name, name, strlen(name) + 1);
  memset(r.ipv4, 0, sizeof(r.ipv4));
  memset(r.ipv6, 0, sizeof(r.ipv6));
  g_domains.next_slot = (slot + 1) % g_domains.count;
  return slot;
}

// True when the posting was queued, false when the queue is full.
bool post_slot(uint32_t slot) {
  if (g_domains.queue_length >= g_domains.count) return false;
  g_domains.records[g_domains.queue_length].queue_link = slot;
  ++g_domains.queue_length;
  SemaphorePost(&g_domains.queue_signal);
  return true;
}

// A re-posting within kHoldBackMs of the last one is held back; a last
// query later than now means the tick counter wrapped since, and does not.
bool held_back(const DomainRecord &r, uint32_t now) {
  return r.last_query != 0 && r.last_query <= now && now - r.last_query < kHoldBackMs;
}

int32_t code_of_texts(const char *ipv4, const char *ipv6) {
  int32_t code = 0;
  if (ipv4 != nullptr && strcmp(ipv4, "0.0.0.0") != 0) code |= 1;
  if (ipv6 != nullptr && strcmp(ipv6, "::") != 0) code |= 2;
  return code;
}

}  // namespace

DomainTable g_domains = {g_builtin, kBuiltinCount, 0, 0, {}, {}, {}};

int32_t resolver_startup(DomainRecord *table, uint32_t count, bool *started_before) {
  for (;;) {
    int state = g_state.load(std::memory_order_acquire);
    if (state == 2) {
      if (started_before != nullptr) *started_before = true;
      return 0;
    }
    if (state == 0 && g_state.compare_exchange_strong(state, 1, std::memory_order_acquire)) {
      if (table != nullptr) {
        g_domains.records = table;
        g_domains.count = count;
      }
      const int32_t result = start_once();
      if (result != 0) {
        g_domains.records = g_builtin;
        g_domains.count = kBuiltinCount;
      }
      g_state.store(result == 0 ? 2 : 0, std::memory_order_release);
      if (started_before != nullptr) *started_before = false;
      return result;
    }
    platform::sleep_ms(1);
  }
}

}  // namespace quorvel::detail

namespace detail = quorvel::detail;

// The product is taken in 64 bits, so sizes of 4 GiB and more count too.
extern "C" int32_t SetDomainTable(void *memory, uint32_t a, uint32_t b) {
  uint64_t records = static_cast<uint64_t>(a) * b / sizeof(DomainRecord);
  if (records > detail::kMostRecords) records = detail::kMostRecords;
  DomainRecord *table = memory != nullptr && records > 0 ? static_cast<DomainRecord *>(memory)
                                                         : nullptr;
  bool started_before = false;
  const int32_t result =
      detail::resolver_startup(table, static_cast<uint32_t>(records), &started_before);
  return started_before ? 0 : result;
}

extern "C" int32_t GetAddrByDNS(const char *name, char *ipv4, char *ipv6) {
  if (ipv6 != nullptr) memcpy(ipv6, "::", 3);
  if (ipv4 != nullptr) memcpy(ipv4, "0.0.0.0", 8);
  if (name == nullptr || strnlen(name, sizeof(DomainRecord::name)) >= sizeof(DomainRecord::name))
    return 0;
  if (detail::resolver_startup(nullptr, 0, nullptr) != 0) return 0;

  detail::DomainTable &t = detail::g_domains;
  MutexLock(&t.table_lock);
  int32_t found = detail::find_record(name);
  uint32_t slot;
  if (found >= 0) {
    slot = static_cast<uint32_t>(found);
    DomainRecord &r = t.records[slot];
    if (ipv4 != nullptr) inet_ntopx(QRVL_AF_INET, r.ipv4, ipv4, 64);
    if (ipv6 != nullptr) inet_ntopx(QRVL_AF_INET6, r.ipv6, ipv6, 64);
    const uint32_t now = quorvel::platform::tick_ms();
    if (detail::held_back(r, now)) {
      MutexUnlock(&t.table_lock);
      return 0;
    }
    r.last_query = now;
  } else {
    slot = detail::take_over_record(name);
  }
  const bool posted = detail::post_slot(slot);
  MutexUnlock(&t.table_lock);
  // Reported after the lock is released: routes are the caller's code.
  if (!posted) detail::library_warning("post queue is full, please query next time !!");
  return detail::code_of_texts(ipv4, ipv6);
}
