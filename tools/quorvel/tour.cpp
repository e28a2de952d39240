// quorvel tour: a demonstration of every family of the library, section by
// section -- trace lines and routes, threads and locks, clocks, digests and
// codecs, the caller's own heap and string ring, the debug queue, addresses
// and names, and INI, JSON and commands.
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel tour\n"
    "Show what a program gets from the library, in eight sections: trace lines of\n"
    "every level with a route, the message mask and the debug switch; a worker\n"
    "thread fed through a semaphore and a condition variable; clocks and calendar\n"
    "time; a digest, a MAC, a checksum and Base64; a heap and a string ring in the\n"
    "program's own memory; the debug queue; address text and masks, this host's\n"
    "addresses, gateways and name servers and a name resolved three ways; an INI\n"
    "text, a JSON text, a command's output and the processor count.  Trace lines\n"
    "go to standard output here, so that the tour reads top to bottom.\n";

void print_line(const char *line, int32_t length) {
  write_out(line, static_cast<size_t>(length));
  if (length == 0 || line[length - 1] != '\n') write_out("\n", 1);
}

int routed_lines = 0;
void count_route(const DebugInfo *) {
  routed_lines++;
}

void tour_trace() {
  print("%s\n", "== 1. Trace lines, routes, mask and debug switch");
  SetDebugOutput(print_line);
  AddDebugInfoRoute(count_route);

  infolog_t("tour", "information: %d routes may watch every line", 3);
  warnlog_t("tour", "warning: lines carry level, local time, thread id and tag");
  errlog_t("tour", "error: messages are cut at %d characters", 1024);
  sdklog_t("tour", "debug lines need the debug switch (not printed yet)");
  verlog_t("tour", "verbose lines too (not printed yet)");
  SetDebugSwitch(1);
  sdklog_t("tour", "debug line, now that the switch is on");
  verlog_t("tour", "verbose line, now that the switch is on");
  kLOGI("kLOGI lines have the tag ktrace and no line end");
  infolog_w("the _w family has no tag");

  SetDebugFilter("we");  // only warnings and errors reach the console now
  infolog_t("tour", "this info line reaches the route only");
  warnlog_t("tour", "with the filter \"we\" only W and E lines are printed");
  SetDebugMsgMask(0x1f);

  DelDebugInfoRoute(count_route);
  print("the route saw %d lines, including those the console did not show\n\n", routed_lines);
}

// ---- 2. A worker fed through a semaphore, answering through a Cond ----

struct Work {
  Semaphore jobs;
  Mutex lock;
  Cond done;
  int next_job;    // the job the worker takes next
  int results[4];  // the worker's answers
  int finished;    // how many answers are in
};

void *worker(void *argument) {
  Work *work = static_cast<Work *>(argument);
  for (int i = 0; i < 4; i++) {
    SemaphoreWait(&work->jobs, -1);
    MutexLock(&work->lock);
    int job = work->next_job++;
    work->results[job] = job * job;
    work->finished++;
    CondSignal(&work->done);
    MutexUnlock(&work->lock);
  }
  return nullptr;
}

void tour_threads() {
  print("%s\n", "== 2. A thread handed work over a semaphore and a condition variable");
  Work work;
  std::memset(&work, 0, sizeof work);
  SemaphoreInit(&work.jobs, 0);
  MutexInit(&work.lock);
  CondInit(&work.done);

  ThreadCtl thread;
  if (kCreateThread(&thread, -1, worker, &work) != 0) {
    print("%s\n", "could not start the worker");
    return;
  }
  for (int i = 0; i < 4; i++) SemaphorePost(&work.jobs);

  MutexLock(&work.lock);
  while (work.finished < 4) CondWait(&work.done, &work.lock, 5000);
  MutexUnlock(&work.lock);
  kThreadJoin(thread);

  print("the worker squared 0..3: %d %d %d %d\n", work.results[0], work.results[1], work.results[2],
        work.results[3]);
  print("a plain mutex has no owner; unlocking it twice is refused: %d\n\n",
        (MutexLock(&work.lock), MutexUnlock(&work.lock), MutexUnlock(&work.lock)));
  CondFree(&work.done);
  MutexFree(&work.lock);
  SemaphoreFree(&work.jobs);
}

void tour_clocks() {
  print("%s\n", "== 3. Clocks and calendar time");
  TimeDist watch;
  StartTimeDist(&watch);
  int64_t now = 0;
  uint16_t ms = 0;
  GetCurrentMTime(&now, &ms);
  print("uptime tick: %u ms; wall clock: %lld.%03u s since 1970\n", GetClockTimeStamp(),
        static_cast<long long>(now), ms);

  Utm utc, local;
  char text[72];
  GetUtm(static_cast<uint32_t>(now), &utc);
  GetLocalUtm(static_cast<uint32_t>(now), &local);
  print("UTC now:            %s (%s, weekday %d, day %d of the year)\n", GetUtmStr(&utc, text),
        utc.tm_zone, utc.tm_wday, utc.tm_yday);
  print("local standard now: %s\n", GetUtmStr(&local, text));

  Utm odd;
  std::memset(&odd, 0, sizeof odd);
  odd.tm_year = 100;  // year 2000 ...
  odd.tm_mon = 14;    // ... month 15 is March 2001
  odd.tm_mday = 0;    // day 0 is the last of February
  int32_t seconds = MakeUnixTime(&odd);
  print("MakeUnixTime normalises 2000, month 15, day 0 to %s = %d s\n", GetUtmStr(&odd, text),
        seconds);
  print("the tour so far took %llu ms\n\n",
        static_cast<unsigned long long>(FinishTimeDist(&watch)));
}

void print_hex(const char *label, const uint8_t *bytes, size_t n) {
  print("%s", label);
  for (size_t i = 0; i < n; i++) print("%02x", bytes[i]);
  print("\n");
}

void tour_crypto() {
  print("%s\n", "== 4. Digests, MACs, checksums and Base64");
  const char *text = "The quick brown fox jumps over the lazy dog";
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(text);
  uint32_t n = static_cast<uint32_t>(std::strlen(text));

  uint8_t digest[32];
  csha256(bytes, n, digest);
  print_hex("SHA-256:      ", digest, 32);
  hmac_csha256(reinterpret_cast<const uint8_t *>("key"), 3, bytes, n, digest, 32);
  print_hex("HMAC-SHA-256: ", digest, 32);

  QRVL_MD5_CTX md5;
  QRVL_MD5Init(&md5);
  QRVL_MD5Update(&md5, bytes, n);
  QRVL_MD5Final(digest, &md5);
  print_hex("MD5:          ", digest, 16);
  print("CRC-32:       %08x\n", GetCrc32(1, 0xFFFFFFFFu, bytes, n) ^ 0xFFFFFFFFu);

  char base64[80];
  int32_t length = ToBase64Simple(bytes, 9, base64, static_cast<int32_t>(sizeof base64));
  print("Base64 of \"%.9s\": %.*s\n\n", text, static_cast<int>(length), base64);
}

void tour_memory() {
  print("%s\n", "== 5. A heap and a string ring in the program's own memory");
  static uint64_t region[1024];  // 8 KiB that the heap carves up, for good
  if (sram_poollink(region, sizeof region) == 0) {
    char *a = static_cast<char *>(sram_malloc(100));
    char *b = static_cast<char *>(sram_calloc(10, 20));
    uint32_t free_bytes = 0, used_bytes = 0, third = 0;
    sram_usage(&free_bytes, &used_bytes, &third);
    print("sram: two blocks taken, %u bytes used, %u free\n", used_bytes, free_bytes);
    sram_free(a);
    sram_free(b);
    sram_usage(&free_bytes, &used_bytes, &third);
    print("sram: both freed again, %u bytes used\n", used_bytes);
  }

  static char ring_memory[48];
  Slp ring;
  slp_melink(&ring, ring_memory, sizeof ring_memory);
  slp_putstr(&ring, "first line\n");
  slp_putstr(&ring, "second line\n");
  slp_putstr(&ring, "third line pushes out the first\n");
  print("slp keeps the newest whole lines that fit: \"%s%s\"\n",
        slp_getstr_p1(&ring) ? slp_getstr_p1(&ring) : "",
        slp_getstr_p2(&ring) ? slp_getstr_p2(&ring) : "");
}

// ---- 6. The debug queue ----

Semaphore written;  // posted by the output function on the writer

void print_queued_line(const char *line, int32_t length) {
  print_line(line, length);
  SemaphorePost(&written);
}

void *queue_producer(void *argument) {
  infolog_t("tour", "queued from a second thread (%s)", static_cast<const char *>(argument));
  return nullptr;
}

void tour_debug_queue() {
  print("%s\n", "\n== 6. The debug queue: callers fill slots, one writer emits");
  static uint8_t ring[8 * 256];  // zero-filled, ours for the whole process
  SemaphoreInit(&written, 0);
  SetDebugOutput(print_queued_line);
  SetDebugQueue(ring, 8, 256);

  ThreadCtl thread;
  infolog_t("tour", "this line keeps the caller's time stamp and thread id");
  if (kCreateThread(&thread, -1, queue_producer, const_cast<char *>("its own thread id")) == 0)
    kThreadJoin(thread);
  warnlog_t("tour", "the writer thread builds headers and calls routes and output");
  for (int i = 0; i < 3; i++) SemaphoreWait(&written, 5000);
}

// ---- 7. Networking ----

void print_local_addresses(int32_t family, const char *label) {
  int32_t count = GetLIPNum(family);
  print("%s: %d usable local address(es)\n", label, count < 0 ? 0 : count);
  for (int32_t i = 0; i < count; i++) {
    char ip[64] = "", adapter[64] = "";
    int32_t prefix = GetNLIP2(family, i, ip, adapter);
    print("  %s/%d on %s\n", ip, prefix, adapter);
  }
  char gateway[64] = "";
  if (GetDefaultGateway(family, gateway) == 0) print("  default gateway %s\n", gateway);
  char ip[64] = "";
  if (GetSpecificLIP(family, ip) >= 0) print("  default local address %s\n", ip);
  int32_t servers = GetDnsIPNum(family);
  for (int32_t i = 0; i < servers; i++) {
    char server[64] = "";
    if (GetDnsIP(family, i, server) == 0) print("  DNS server %s\n", server);
  }
}

void tour_net() {
  print("%s\n", "\n== 7. Addresses, interfaces and names");
  uint8_t bytes[16];
  char text[64];
  inet_ptonx(QRVL_AF_INET6, "2001:db8:0:0:1:0:0:1", bytes);
  print("2001:db8:0:0:1:0:0:1 prints as %s\n",
        inet_ntopx(QRVL_AF_INET6, bytes, text, static_cast<int32_t>(sizeof text)));
  char mask[16], broadcast[16];
  MakeIPv4MaskAddr(20, mask, nullptr);
  GetNBroadcastIP("192.168.17.5", 20, broadcast);
  print("/20 is %s; the broadcast of 192.168.17.5/20 is %s\n", mask, broadcast);

  print_local_addresses(QRVL_AF_INET, "IPv4");
  print_local_addresses(QRVL_AF_INET6, "IPv6");

  char ipv4[64], ipv6[64];
  int32_t found = GetAddrInfox("localhost", ipv4, ipv6);
  print("localhost resolves to %s and %s (result %d)\n", ipv4, ipv6, found);
  // The table answers at once; the resolver thread fills it behind it.
  Semaphore pause;  // never posted: each wait is a 20 ms sleep
  SemaphoreInit(&pause, 0);
  GetAddrByDNS("localhost", ipv4, ipv6);  // first sight: queued, nothing known yet
  for (int i = 0; i < 50 && std::strcmp(ipv4, "0.0.0.0") == 0 && std::strcmp(ipv6, "::") == 0;
       i++) {
    SemaphoreWait(&pause, 20);
    GetAddrByDNS("localhost", ipv4, ipv6);
  }
  SemaphoreFree(&pause);
  print("from the table: %s and %s\n", ipv4, ipv6);
  char nat64[80];
  IPv4MappedIPv6(nat64, "192.0.2.33", QRVL_AF_INET6);
  print("192.0.2.33 behind NAT64: %s\n", nat64);
}

// ---- 8. INI, JSON and commands ----

int32_t print_pair(void *, const char *section, const char *name, const char *value,
                   int32_t lineno) {
  print("line %d: [%s] %s = %s\n", lineno, section, name, value);
  return 1;
}

void tour_runtime() {
  print("%s\n", "\n== 8. INI, JSON and commands");
  const char *ini = "; settings\n[server]\nhost = example.org\nport = 8080 ; inline comment\n";
  print("INI result %d\n", ini_parse_string(ini, print_pair, nullptr));

  CJSON_Element elements[4];
  CJSON object;
  CJSON_Init(&object, elements, 4);
  CJSON_AddElement1(&object, "name", "quorvel");
  CJSON_AddElement3(&object, "cpus", static_cast<uint32_t>(_WIN_getcpunum()), CJSON_TYPE_UNSIGNED);
  CJSON_AddElement3(&object, "big_endian", static_cast<uint32_t>(cstest_big_endian()),
                    CJSON_TYPE_BOOLEAN);
  char json[128];
  CJSON_CreateString(&object, json, static_cast<uint32_t>(sizeof json));
  print("JSON: %s\n", json);

  CmdPipe *pipe = cmd_popen("uname -sm");
  char line[128];
  while (pipe != nullptr && cmd_fgets(line, static_cast<int32_t>(sizeof line), pipe) != nullptr)
    print("uname -sm says: %s", line);
  cmd_pclose(pipe);
}

void discard_line(const char *, int32_t) {}

}  // namespace

int run_tour(int argc, char **argv) {
  int operands = 0;
  const Parsed parsed = parse(argc, argv, nullptr, 0, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands != 0) return usage("no operands expected");
  print("quorvel tour\n\n");
  tour_trace();
  tour_threads();
  tour_clocks();
  tour_crypto();
  tour_memory();
  tour_debug_queue();
  tour_net();
  tour_runtime();
  // The resolver thread goes on tracing; its lines must not reach the
  // stdout that finish() closes.
  SetDebugFilter("");
  SetDebugOutput(discard_line);
  return print("%s", "") ? kOk : kFailed;
}

}  // namespace qcli
