/* Tracing: a route sees every line, the output function sees the lines
   that pass the mask, and debug-level lines reach the output only while
   the debug switch is on. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

static int routed;
static char last_message[64];
static char output[4096];

static void count_lines(const DebugInfo *info) {
  ++routed;
  snprintf(last_message, sizeof last_message, "%s/%s/%d", info->tag, info->message,
           (int)info->level);
}

static void keep_output(const char *line, int32_t length) {
  strncat(output, line, sizeof output - strlen(output) - 1);
  (void)length;
}

#define CHECK(x) if (!(x)) { fprintf(stderr, "failed: %s\n", #x); return 1; }

int main(void) {
  SetDebugOutput(keep_output); /* instead of standard error */
  AddDebugInfoRoute(count_lines);

  infolog_t("demo", "answer %d", 42);
  CHECK(routed == 1);
  CHECK(strcmp(last_message, "demo/answer 42/1") == 0);
  CHECK(strstr(output, "[I][") == output);            /* level letter first */
  CHECK(strstr(output, "{demo} answer 42\r\n") != NULL); /* tag, message, line end */

  /* Debug lines: the route sees them, the output only with the switch on. */
  output[0] = '\0';
  sdklog_w("hidden");
  CHECK(routed == 2 && output[0] == '\0');
  SetDebugSwitch(1);
  sdklog_w("shown");
  CHECK(strstr(output, "] shown\r\n") != NULL);

  /* Keep errors only: "e" clears every other bit of the mask. */
  output[0] = '\0';
  SetDebugFilter("e");
  warnlog_w("dropped");
  errlog_w("kept");
  CHECK(strstr(output, "dropped") == NULL && strstr(output, "[E][") == output);

  DelDebugInfoRoute(count_lines);
  kLOGI("no route");
  CHECK(routed == 5);
  return 0;
}
