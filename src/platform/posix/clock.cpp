// Clocks and the local zone's standard-time bias.
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

#include "platform/platform.hpp"

namespace quorvel::platform {

uint32_t tick_ms() {
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void wall_clock(int64_t *seconds, uint16_t *milliseconds) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  *seconds = static_cast<int64_t>(ts.tv_sec);
  *milliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000L);
}

// tzset() re-reads the zone file and allocates on every call while TZ is
// unset, and trace lines ask for the bias each time; so the bias is kept
// with a hash of the TZ text it was read under, and tzset() runs again only
// when that text changes.  One 64-bit atomic word (hash, bias) keeps
// readers from seeing a bias with the wrong key, without a lock.
//
// Two threads that miss the cache together would both run tzset(), which
// frees and reallocates the zone name; glibc serialises that with a lock
// of its own that the thread checkers cannot see, so a lock of ours keeps
// the refresh (and the read of `timezone` it belongs to) to one thread.
namespace {
std::atomic<uint64_t> g_zone_cache{0};
pthread_mutex_t g_zone_refresh = PTHREAD_MUTEX_INITIALIZER;

uint32_t zone_key() {
  const char *tz = getenv("TZ");
  if (tz == nullptr) return 2;  // odd values are hashes of a TZ text
  uint32_t h = 2166136261u;
  for (const char *p = tz; *p != '\0'; ++p) h = (h ^ static_cast<uint8_t>(*p)) * 16777619u;
  return h | 1u;
}
}  // namespace

int32_t standard_zone_bias_minutes() {
  uint32_t key = zone_key();
  uint64_t cached = g_zone_cache.load(std::memory_order_acquire);
  if (static_cast<uint32_t>(cached >> 32) == key) return static_cast<int32_t>(static_cast<uint32_t>(cached));
  // `timezone` is seconds west of UTC for standard time, as the bias is.
  pthread_mutex_lock(&g_zone_refresh);
  tzset();
  int32_t bias = static_cast<int32_t>(timezone / 60);
  pthread_mutex_unlock(&g_zone_refresh);
  g_zone_cache.store(uint64_t{key} << 32 | static_cast<uint32_t>(bias), std::memory_order_release);
  return bias;
}

}  // namespace quorvel::platform
