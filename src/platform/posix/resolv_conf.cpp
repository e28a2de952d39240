// The name servers of /etc/resolv.conf, read the way the C library's
// resolver reads them: a line that begins with "nameserver" and a blank,
// then one address (IPv4 in the forms inet_aton accepts, IPv6 with an
// optional "%scope" that is dropped).  The file is read in fixed blocks,
// so nothing is allocated.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.hpp"

namespace quorvel::platform {
namespace {

constexpr char kResolvConf[] = "/etc/resolv.conf";
// A nameserver line is short; longer lines cannot name one and are skipped.
constexpr size_t kLineSize = 256;

struct ServerList {
  int32_t family;
  ConfigAddress *out;
  int32_t capacity;
  int32_t count;
};

void read_line(ServerList *list, char *line) {
  if (strncmp(line, "nameserver", 10) != 0 || (line[10] != ' ' && line[10] != '\t')) return;
  char *address = line + 10;
  address += strspn(address, " \t");
  address[strcspn(address, " \t\r;#")] = '\0';
  uint8_t bytes[16];
  if (list->family == AF_INET) {
    in_addr v4;
    if (inet_aton(address, &v4) == 0) return;
    memcpy(bytes, &v4, 4);
  } else {
    address[strcspn(address, "%")] = '\0';
    if (inet_pton(AF_INET6, address, bytes) != 1) return;
  }
  if (list->count < list->capacity) {
    ConfigAddress *record = &list->out[list->count];
    memset(record, 0, sizeof *record);
    record->family = list->family;
    memcpy(record->bytes, bytes, list->family == AF_INET ? 4 : 16);
  }
  ++list->count;
}

}  // namespace

int32_t dns_servers(int32_t family, ConfigAddress *out, int32_t capacity) {
  if (family != AF_INET && family != AF_INET6) return -1;
  int fd = open(kResolvConf, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  ServerList list{family, out, capacity, 0};
  char block[4096];
  char line[kLineSize];
  size_t used = 0;
  bool overlong = false;
  for (;;) {
    ssize_t length = read(fd, block, sizeof block);
    if (length < 0 && errno == EINTR) continue;
    if (length < 0) {
      close(fd);
      return -1;
    }
    if (length == 0) break;
    for (ssize_t i = 0; i < length; ++i) {
      if (block[i] == '\n') {
        line[used] = '\0';
        if (!overlong) read_line(&list, line);
        used = 0;
        overlong = false;
      } else if (used + 1 < sizeof line) {
        line[used++] = block[i];
      } else {
        overlong = true;
      }
    }
  }
  close(fd);
  line[used] = '\0';
  if (!overlong && used > 0) read_line(&list, line);
  return list.count;
}

}  // namespace quorvel::platform
