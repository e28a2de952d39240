// The NAT64 prefix: learnt from synthesized answers, used to build NAT64
// address text from IPv4 text.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/resolver.hpp"
#include "platform/platform.hpp"

namespace quorvel::detail {

namespace {

constexpr size_t kTextSize = 64;  // texts of at most 63 characters
// The characters IPv4MappedIPv6 appends to the prefix: "%02x%02x:%02x%02x".
constexpr size_t kSuffixLength = 9;

char g_prefix[kTextSize] = "64:ff9b::";
Mutex g_prefix_lock;
std::atomic<bool> g_prefix_lock_ready{false};

void copy_text(char *out, const char *in) {
  const size_t n = strnlen(in, kTextSize - 1);
  memcpy(out, in, n);
  out[n] = '\0';
}

}  // namespace

int32_t nat64_prefix_init() {
  if (g_prefix_lock_ready.load(std::memory_order_acquire)) return 0;
  if (MutexInit(&g_prefix_lock) != 0) return -1;
  g_prefix_lock_ready.store(true, std::memory_order_release);
  return 0;
}

// The prefix is what precedes the last two groups of the answer.  Those
// groups are printed as ffff:ffff, so they always take exactly the nine
// characters that IPv4MappedIPv6 appends again, whatever the IPv4 address
// (192.0.2.33 would print as c000:221).  Answers in ::/96 and ::ffff:0:0/96
// print in dotted form and teach nothing.
void learn_nat64_prefix(const uint8_t ipv4[4], const uint8_t ipv6[16]) {
  if (memcmp(ipv6 + 12, ipv4, 4) != 0) return;
  uint8_t probe[16];
  memcpy(probe, ipv6, 12);
  memset(probe + 12, 0xff, 4);
  char text[kTextSize];
  if (inet_ntopx(QRVL_AF_INET6, probe, text, kTextSize) == nullptr) return;
  const size_t length = strlen(text);
  if (length <= kSuffixLength || strchr(text, '.') != nullptr) return;
  text[length - kSuffixLength] = '\0';
  if (!g_prefix_lock_ready.load(std::memory_order_acquire)) return;
  MutexLock(&g_prefix_lock);
  copy_text(g_prefix, text);
  MutexUnlock(&g_prefix_lock);
}

// Writes the NAT64 text of the IPv4 text in: 0, or -1 when in does not have
// exactly four dot-separated parts (each part counts by its atoi value,
// low 8 bits) or the prefix lock does not exist because the resolver never
// started.
namespace {

int32_t nat64_text(char *out, const char *in) {
  resolver_startup(nullptr, 0, nullptr);
  if (!g_prefix_lock_ready.load(std::memory_order_acquire)) return -1;
  char prefix[kTextSize];
  MutexLock(&g_prefix_lock);
  copy_text(prefix, g_prefix);
  MutexUnlock(&g_prefix_lock);

  char work[kTextSize];
  copy_text(work, in);
  const char *parts[4];
  size_t count = 0;
  for (char *p = work;; ++p) {
    if (count == 4) return -1;
    parts[count++] = p;
    p = strchr(p, '.');
    if (p == nullptr) break;
  }
  if (count != 4) return -1;
  unsigned value[4];
  for (size_t i = 0; i < 4; ++i) value[i] = static_cast<unsigned>(atoi(parts[i])) & 0xffu;
  snprintf(out, kTextSize + kSuffixLength, "%s%02x%02x:%02x%02x", prefix, value[0], value[1],
           value[2], value[3]);
  return 0;
}

}  // namespace

}  // namespace quorvel::detail

namespace detail = quorvel::detail;

extern "C" int32_t IPv4MappedIPv6(char *out, const char *in, int32_t family) {
  if (out == nullptr || in == nullptr) return -1;
  out[0] = '\0';
  const int32_t style = GetIPvStyle(in);
  if (style == 0) return -1;
  if (family == QRVL_AF_INET) {
    detail::copy_text(out, in);
    return style == 4 ? 0 : -1;
  }
  if (family != QRVL_AF_INET6) return -1;
  if (style == 6) {
    detail::copy_text(out, in);
    return 0;
  }
  if (detail::nat64_text(out, in) == 0) return 0;
  out[0] = '\0';
  return -1;
}
