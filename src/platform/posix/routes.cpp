// Default gateways and link state from the kernel's routing socket
// (rtnetlink): one request, answers read until the kernel says done.
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.hpp"

namespace quorvel::platform {
namespace {

// Large enough for the kernel's dump batches (it sizes them by the
// largest read it has seen, at least one page).
constexpr size_t kReceiveSize = 16384;

class RouteSocket {
 public:
  // The dump is filtered here, not by the kernel: asking it to filter
  // (NETLINK_GET_STRICT_CHK) costs one more system call than the few
  // routes of the other tables take to read.
  RouteSocket() : fd_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
  ~RouteSocket() {
    if (fd_ >= 0) close(fd_);
  }
  RouteSocket(const RouteSocket &) = delete;
  RouteSocket &operator=(const RouteSocket &) = delete;

  bool send_request(nlmsghdr *request) {
    if (fd_ < 0) return false;
    request->nlmsg_seq = kSequence;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return sendto(fd_, request, request->nlmsg_len, 0, reinterpret_cast<sockaddr *>(&kernel),
                  sizeof kernel) == static_cast<ssize_t>(request->nlmsg_len);
  }

  // Hands each answer to visit until the kernel is done (a dump's DONE, or
  // the single answer of a plain request).  False on an error answer or a
  // failed read.
  template <typename Visit>
  bool read_answers(bool dump, Visit visit) {
    alignas(nlmsghdr) char buffer[kReceiveSize];
    for (;;) {
      ssize_t length = recv(fd_, buffer, sizeof buffer, 0);
      if (length < 0 && errno == EINTR) continue;
      if (length <= 0) return false;
      int remaining = static_cast<int>(length);
      for (auto *message = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(message, remaining);
           message = NLMSG_NEXT(message, remaining)) {
        if (message->nlmsg_seq != kSequence) continue;
        if (message->nlmsg_type == NLMSG_DONE) return true;
        if (message->nlmsg_type == NLMSG_ERROR) return false;
        visit(message);
        if (!dump) return true;
      }
    }
  }

 private:
  static constexpr uint32_t kSequence = 1;
  int fd_;
};

// The routes' gateways, kept as the lowest-index interfaces' best ones.
struct GatewayTable {
  DefaultGateway *out;
  int32_t capacity;
  int32_t filled;
  int32_t seen;
};

void keep_gateway(GatewayTable *table, uint32_t index, uint32_t metric, int32_t family,
                  const void *gateway) {
  ++table->seen;
  int32_t at = 0;
  while (at < table->filled && table->out[at].interface_index < index) ++at;
  if (at < table->filled && table->out[at].interface_index == index) {
    if (table->out[at].metric <= metric) return;  // the first of equal metrics stays
  } else {
    if (at == table->capacity) return;
    int32_t last = table->filled < table->capacity ? table->filled : table->capacity - 1;
    memmove(&table->out[at + 1], &table->out[at], sizeof(DefaultGateway) * static_cast<size_t>(last - at));
    if (table->filled < table->capacity) ++table->filled;
  }
  DefaultGateway *record = &table->out[at];
  memset(record, 0, sizeof *record);
  record->interface_index = index;
  record->metric = metric;
  record->gateway.family = family;
  memcpy(record->gateway.bytes, gateway, family == AF_INET ? 4 : 16);
}

// The gateway among a run of route attributes, or null.
const void *gateway_in(const rtattr *attribute, int length, size_t address_size) {
  for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length))
    if (attribute->rta_type == RTA_GATEWAY && RTA_PAYLOAD(attribute) == address_size)
      return RTA_DATA(attribute);
  return nullptr;
}

void read_route(GatewayTable *table, int32_t family, const nlmsghdr *message) {
  if (message->nlmsg_type != RTM_NEWROUTE) return;
  const auto *route = static_cast<const rtmsg *>(NLMSG_DATA(message));
  if (route->rtm_family != family || route->rtm_dst_len != 0 || route->rtm_type != RTN_UNICAST)
    return;
  size_t address_size = family == AF_INET ? 4 : 16;
  uint32_t table_id = route->rtm_table, index = 0, metric = 0;
  const void *gateway = nullptr;
  const rtattr *multipath = nullptr;
  int length = static_cast<int>(RTM_PAYLOAD(message));
  for (const rtattr *a = RTM_RTA(route); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
    if (a->rta_type == RTA_TABLE && RTA_PAYLOAD(a) == 4) memcpy(&table_id, RTA_DATA(a), 4);
    if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) == 4) memcpy(&index, RTA_DATA(a), 4);
    if (a->rta_type == RTA_PRIORITY && RTA_PAYLOAD(a) == 4) memcpy(&metric, RTA_DATA(a), 4);
    if (a->rta_type == RTA_GATEWAY && RTA_PAYLOAD(a) == address_size) gateway = RTA_DATA(a);
    if (a->rta_type == RTA_MULTIPATH) multipath = a;
  }
  if (table_id != RT_TABLE_MAIN) return;
  if (gateway != nullptr && index != 0) keep_gateway(table, index, metric, family, gateway);
  if (multipath == nullptr) return;
  // A route over several next hops: each hop names its interface and gateway.
  int left = static_cast<int>(RTA_PAYLOAD(multipath));
  const auto *hop = static_cast<const rtnexthop *>(RTA_DATA(multipath));
  while (left >= static_cast<int>(sizeof *hop) && hop->rtnh_len >= sizeof *hop &&
         hop->rtnh_len <= left) {
    int hop_length = static_cast<int>(hop->rtnh_len) - static_cast<int>(RTNH_LENGTH(0));
    const void *hop_gateway = gateway_in(RTNH_DATA(hop), hop_length, address_size);
    if (hop_gateway != nullptr && hop->rtnh_ifindex > 0)
      keep_gateway(table, static_cast<uint32_t>(hop->rtnh_ifindex), metric, family, hop_gateway);
    left -= RTNH_ALIGN(hop->rtnh_len);
    hop = RTNH_NEXT(hop);
  }
}

}  // namespace

int32_t default_gateways(int32_t family, DefaultGateway *out, int32_t capacity, int32_t *needed) {
  if (needed != nullptr) *needed = 0;
  if ((family != AF_INET && family != AF_INET6) || capacity < 0) return -1;
  struct {
    nlmsghdr header;
    rtmsg route;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.route.rtm_family = static_cast<unsigned char>(family);
  RouteSocket socket;
  GatewayTable table{out, capacity, 0, 0};
  if (!socket.send_request(&request.header) ||
      !socket.read_answers(true, [&](const nlmsghdr *m) { read_route(&table, family, m); }))
    return -1;
  if (needed != nullptr) *needed = table.seen;
  return table.filled;
}

bool interface_up(uint32_t interface_index) {
  struct {
    nlmsghdr header;
    ifinfomsg link;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.link.ifi_family = AF_UNSPEC;
  request.link.ifi_index = static_cast<int>(interface_index);
  RouteSocket socket;
  unsigned flags = 0;
  bool answered = socket.send_request(&request.header) &&
                  socket.read_answers(false, [&](const nlmsghdr *m) {
                    if (m->nlmsg_type == RTM_NEWLINK)
                      flags = static_cast<const ifinfomsg *>(NLMSG_DATA(m))->ifi_flags;
                  });
  return answered && (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0;
}

}  // namespace quorvel::platform
