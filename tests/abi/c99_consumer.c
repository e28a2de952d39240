/* Compiled as strict C99 with -pedantic -Werror: the public headers must
   be plain C, and the shared library must link and run from C alone. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

/* Record sizes, checked as the program compiles, so that they hold also on
   targets whose programs this machine cannot run (32-bit Windows). */
#define QRVL_CHECK(name, condition) typedef char name[(condition) ? 1 : -1]
QRVL_CHECK(trace_line_size, sizeof(TraceLine) == (sizeof(void *) == 4 ? 72 : 88));
QRVL_CHECK(domain_record_size, sizeof(DomainRecord) == 288);
QRVL_CHECK(sha256_context_size, sizeof(csha256_ctx) == 168);
QRVL_CHECK(md5_context_size, sizeof(QRVL_MD5_CTX) == 88);

static int lines = 0;
static void count_line(const char *line, int32_t length) {
  (void)line;
  if (length > 0) lines++;
}

int main(void) {
  Mutex m;
  uint8_t digest[32];
  Utm tm;
  char text[72];

  if (MutexInit(&m) != 0 || MutexLock(&m) != 0 || MutexUnlock(&m) != 0) return 1;
  MutexFree(&m);
  csha256((const uint8_t *)"abc", 3, digest);
  if (digest[0] != 0xba || digest[31] != 0xad) return 2;
  if (strcmp(GetUtmStr(GetUtm(951782400u, &tm), text), "2000-02-29-00-00-00") != 0) return 3;
  SetDebugOutput(count_line);
  errlog_t("c99", "from C: %d", 99);
  if (lines != 1) return 4;
  /* A variable of the library, reached through the import table on Windows. */
  if (SFIO_SEEK_END != 2 || sfio_open == NULL) return 5;
  puts("quorvel works from strict C99");
  return 0;
}
