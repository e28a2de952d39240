/*
 * A tour of quorvel: what a program gets from linking it.
 *
 *   1. trace lines of every level, a route that sees each of them, and the
 *      message mask and debug switch that decide what reaches the console;
 *   2. a worker thread that takes jobs handed over with a semaphore and
 *      reports back through a condition variable;
 *   3. clocks and a calendar breakdown in UTC and in local standard time;
 *   4. a digest, a MAC, a checksum and Base64 text;
 *   5. a heap and a string ring inside the program's own memory;
 *   6. the debug queue: trace calls hand their lines to one writer thread;
 *   7. address text and masks, this host's usable addresses, gateways and
 *      DNS servers, and a name resolved on the spot, through the resolver's
 *      table, and in its NAT64 form;
 *   8. an INI text parsed, a JSON text built, a command's output read, and
 *      the processor count.
 *
 * Trace lines go to standard output here (through SetDebugOutput) so that
 * the tour reads top to bottom; by default they go to standard error.
 */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

static void print_line(const char *line, int32_t length) {
  fwrite(line, 1, (size_t)length, stdout);
  if (length == 0 || line[length - 1] != '\n') fputc('\n', stdout);
}

static int routed_lines = 0;
static void count_route(const DebugInfo *info) {
  (void)info;
  routed_lines++;
}

static void tour_trace(void) {
  puts("== 1. Trace lines, routes, mask and debug switch");
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

  SetDebugFilter("we"); /* only warnings and errors reach the console now */
  infolog_t("tour", "this info line reaches the route only");
  warnlog_t("tour", "with the filter \"we\" only W and E lines are printed");
  SetDebugMsgMask(0x1f);

  DelDebugInfoRoute(count_route);
  printf("the route saw %d lines, including those the console did not show\n\n", routed_lines);
}

/* ---- 2. A worker fed through a semaphore, answering through a Cond ---- */

struct Work {
  Semaphore jobs;
  Mutex lock;
  Cond done;
  int next_job;     /* the job the worker takes next */
  int results[4];   /* the worker's answers */
  int finished;     /* how many answers are in */
};

static void *worker(void *argument) {
  struct Work *work = (struct Work *)argument;
  for (int i = 0; i < 4; i++) {
    SemaphoreWait(&work->jobs, -1);
    MutexLock(&work->lock);
    int job = work->next_job++;
    work->results[job] = job * job;
    work->finished++;
    CondSignal(&work->done);
    MutexUnlock(&work->lock);
  }
  return NULL;
}

static void tour_threads(void) {
  puts("== 2. A thread handed work over a semaphore and a condition variable");
  struct Work work;
  memset(&work, 0, sizeof work);
  SemaphoreInit(&work.jobs, 0);
  MutexInit(&work.lock);
  CondInit(&work.done);

  ThreadCtl thread;
  if (kCreateThread(&thread, -1, worker, &work) != 0) {
    puts("could not start the worker");
    return;
  }
  for (int i = 0; i < 4; i++) SemaphorePost(&work.jobs);

  MutexLock(&work.lock);
  while (work.finished < 4) CondWait(&work.done, &work.lock, 5000);
  MutexUnlock(&work.lock);
  kThreadJoin(thread);

  printf("the worker squared 0..3: %d %d %d %d\n", work.results[0], work.results[1],
         work.results[2], work.results[3]);
  printf("a plain mutex has no owner; unlocking it twice is refused: %d\n\n",
         (MutexLock(&work.lock), MutexUnlock(&work.lock), MutexUnlock(&work.lock)));
  CondFree(&work.done);
  MutexFree(&work.lock);
  SemaphoreFree(&work.jobs);
}

static void tour_clocks(void) {
  puts("== 3. Clocks and calendar time");
  TimeDist watch;
  StartTimeDist(&watch);
  int64_t now = 0;
  uint16_t ms = 0;
  GetCurrentMTime(&now, &ms);
  printf("uptime tick: %u ms; wall clock: %lld.%03u s since 1970\n", GetClockTimeStamp(),
         (long long)now, ms);

  Utm utc, local;
  char text[72];
  GetUtm((uint32_t)now, &utc);
  GetLocalUtm((uint32_t)now, &local);
  printf("UTC now:            %s (%s, weekday %d, day %d of the year)\n", GetUtmStr(&utc, text),
         utc.tm_zone, utc.tm_wday, utc.tm_yday);
  printf("local standard now: %s\n", GetUtmStr(&local, text));

  Utm odd = {0};
  odd.tm_year = 100; /* year 2000 ... */
  odd.tm_mon = 14;   /* ... month 15 is March 2001 */
  odd.tm_mday = 0;   /* day 0 is the last of February */
  int32_t seconds = MakeUnixTime(&odd);
  printf("MakeUnixTime normalises 2000, month 15, day 0 to %s = %d s\n", GetUtmStr(&odd, text),
         seconds);
  printf("the tour so far took %llu ms\n\n", (unsigned long long)FinishTimeDist(&watch));
}

static void print_hex(const char *label, const uint8_t *bytes, size_t n) {
  printf("%s", label);
  for (size_t i = 0; i < n; i++) printf("%02x", bytes[i]);
  printf("\n");
}

static void tour_crypto(void) {
  puts("== 4. Digests, MACs, checksums and Base64");
  const char *text = "The quick brown fox jumps over the lazy dog";
  const uint8_t *bytes = (const uint8_t *)text;
  uint32_t n = (uint32_t)strlen(text);

  uint8_t digest[32];
  csha256(bytes, n, digest);
  print_hex("SHA-256:      ", digest, 32);
  hmac_csha256((const uint8_t *)"key", 3, bytes, n, digest, 32);
  print_hex("HMAC-SHA-256: ", digest, 32);

  QRVL_MD5_CTX md5;
  QRVL_MD5Init(&md5);
  QRVL_MD5Update(&md5, bytes, n);
  QRVL_MD5Final(digest, &md5);
  print_hex("MD5:          ", digest, 16);
  printf("CRC-32:       %08x\n", GetCrc32(1, 0xFFFFFFFFu, bytes, n) ^ 0xFFFFFFFFu);

  char base64[80];
  int32_t length = ToBase64Simple(bytes, 9, base64, (int32_t)sizeof base64);
  printf("Base64 of \"%.9s\": %.*s\n\n", text, (int)length, base64);
}

static void tour_memory(void) {
  puts("== 5. A heap and a string ring in the program's own memory");
  static uint64_t region[1024]; /* 8 KiB that the heap carves up */
  if (sram_poollink(region, sizeof region) == 0) {
    char *a = (char *)sram_malloc(100);
    char *b = (char *)sram_calloc(10, 20);
    uint32_t free_bytes = 0, used_bytes = 0, third = 0;
    sram_usage(&free_bytes, &used_bytes, &third);
    printf("sram: two blocks taken, %u bytes used, %u free\n", used_bytes, free_bytes);
    sram_free(a);
    sram_free(b);
    sram_usage(&free_bytes, &used_bytes, &third);
    printf("sram: both freed again, %u bytes used\n", used_bytes);
  }

  static char ring_memory[48];
  Slp ring;
  slp_melink(&ring, ring_memory, sizeof ring_memory);
  slp_putstr(&ring, "first line\n");
  slp_putstr(&ring, "second line\n");
  slp_putstr(&ring, "third line pushes out the first\n");
  printf("slp keeps the newest whole lines that fit: \"%s%s\"\n",
         slp_getstr_p1(&ring) ? slp_getstr_p1(&ring) : "",
         slp_getstr_p2(&ring) ? slp_getstr_p2(&ring) : "");
}

/* ---- 6. The debug queue ---- */

static Semaphore written; /* posted by the output function on the writer */

static void print_queued_line(const char *line, int32_t length) {
  print_line(line, length);
  SemaphorePost(&written);
}

static void *queue_producer(void *argument) {
  infolog_t("tour", "queued from a second thread (%s)", (const char *)argument);
  return NULL;
}

static void tour_debug_queue(void) {
  puts("\n== 6. The debug queue: callers fill slots, one writer emits");
  static uint8_t ring[8 * 256]; /* zero-filled, ours for the whole process */
  SemaphoreInit(&written, 0);
  SetDebugOutput(print_queued_line);
  SetDebugQueue(ring, 8, 256);

  ThreadCtl thread;
  infolog_t("tour", "this line keeps the caller's time stamp and thread id");
  if (kCreateThread(&thread, -1, queue_producer, "its own thread id") == 0) kThreadJoin(thread);
  warnlog_t("tour", "the writer thread builds headers and calls routes and output");
  for (int i = 0; i < 3; i++) SemaphoreWait(&written, 5000);
}

/* ---- 7. Networking ---- */

static void print_local_addresses(int32_t family, const char *label) {
  int32_t count = GetLIPNum(family);
  printf("%s: %d usable local address(es)\n", label, count < 0 ? 0 : count);
  for (int32_t i = 0; i < count; i++) {
    char ip[64] = "", adapter[64] = "";
    int32_t prefix = GetNLIP2(family, i, ip, adapter);
    printf("  %s/%d on %s\n", ip, prefix, adapter);
  }
  char gateway[64] = "";
  if (GetDefaultGateway(family, gateway) == 0) printf("  default gateway %s\n", gateway);
  char ip[64] = "";
  if (GetSpecificLIP(family, ip) >= 0) printf("  default local address %s\n", ip);
  int32_t servers = GetDnsIPNum(family);
  for (int32_t i = 0; i < servers; i++) {
    char server[64] = "";
    if (GetDnsIP(family, i, server) == 0) printf("  DNS server %s\n", server);
  }
}

static void tour_net(void) {
  puts("\n== 7. Addresses, interfaces and names");
  uint8_t bytes[16];
  char text[64];
  inet_ptonx(QRVL_AF_INET6, "2001:db8:0:0:1:0:0:1", bytes);
  printf("2001:db8:0:0:1:0:0:1 prints as %s\n",
         inet_ntopx(QRVL_AF_INET6, bytes, text, (int32_t)sizeof text));
  char mask[16], broadcast[16];
  MakeIPv4MaskAddr(20, mask, NULL);
  GetNBroadcastIP("192.168.17.5", 20, broadcast);
  printf("/20 is %s; the broadcast of 192.168.17.5/20 is %s\n", mask, broadcast);

  print_local_addresses(QRVL_AF_INET, "IPv4");
  print_local_addresses(QRVL_AF_INET6, "IPv6");

  char ipv4[64], ipv6[64];
  int32_t found = GetAddrInfox("localhost", ipv4, ipv6);
  printf("localhost resolves to %s and %s (result %d)\n", ipv4, ipv6, found);
  /* The table answers at once; the resolver thread fills it behind it. */
  Semaphore pause; /* never posted: each wait is a 20 ms sleep */
  SemaphoreInit(&pause, 0);
  GetAddrByDNS("localhost", ipv4, ipv6); /* first sight: queued, nothing known yet */
  for (int i = 0; i < 50 && strcmp(ipv4, "0.0.0.0") == 0 && strcmp(ipv6, "::") == 0; i++) {
    SemaphoreWait(&pause, 20);
    GetAddrByDNS("localhost", ipv4, ipv6);
  }
  SemaphoreFree(&pause);
  printf("from the table: %s and %s\n", ipv4, ipv6);
  char nat64[80];
  IPv4MappedIPv6(nat64, "192.0.2.33", QRVL_AF_INET6);
  printf("192.0.2.33 behind NAT64: %s\n", nat64);
}

/* ---- 8. INI, JSON and commands ---- */

static int32_t print_pair(void *user, const char *section, const char *name, const char *value,
                          int32_t lineno) {
  (void)user;
  printf("line %d: [%s] %s = %s\n", lineno, section, name, value);
  return 1;
}

static void tour_runtime(void) {
  puts("\n== 8. INI, JSON and commands");
  const char *ini = "; settings\n[server]\nhost = example.org\nport = 8080 ; inline comment\n";
  printf("INI result %d\n", ini_parse_string(ini, print_pair, NULL));

  CJSON_Element elements[4];
  CJSON object;
  CJSON_Init(&object, elements, 4);
  CJSON_AddElement1(&object, "name", "quorvel");
  CJSON_AddElement3(&object, "cpus", (uint32_t)_WIN_getcpunum(), CJSON_TYPE_UNSIGNED);
  CJSON_AddElement3(&object, "big_endian", (uint32_t)cstest_big_endian(), CJSON_TYPE_BOOLEAN);
  char json[128];
  CJSON_CreateString(&object, json, (uint32_t)sizeof json);
  printf("JSON: %s\n", json);

  CmdPipe *pipe = cmd_popen("uname -sm");
  char line[128];
  while (pipe != NULL && cmd_fgets(line, (int32_t)sizeof line, pipe) != NULL)
    printf("uname -sm says: %s", line);
  cmd_pclose(pipe);
}

int main(void) {
  puts("quorvel tour\n");
  tour_trace();
  tour_threads();
  tour_clocks();
  tour_crypto();
  tour_memory();
  tour_debug_queue();
  tour_net();
  tour_runtime();
  return 0;
}
