/* Runtime: calendar time, field splitting, a JSON text and an INI file. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

static int32_t keep_port(void *user, const char *section, const char *name, const char *value,
                         int32_t lineno) {
  if (strcmp(section, "server") == 0 && strcmp(name, "port") == 0)
    snprintf((char *)user, 16, "%s", value);
  (void)lineno;
  return 1; /* accept the line */
}

#define CHECK(x) if (!(x)) { fprintf(stderr, "failed: %s\n", #x); return 1; }

int main(void) {
  Utm tm;
  char text[80], line[] = "red,green,blue";
  char *fields[4];
  CJSON json, list;
  CJSON_Element slots[4], items[3];
  char port[16] = "";

  /* 2001-09-09 01:46:40 UTC is second 1000000000. */
  GetUtm(1000000000u, &tm);
  CHECK(strcmp(GetUtmStr(&tm, text), "2001-09-09-01-46-40") == 0);
  SetUtmZone(1, 0);
  CHECK(MakeUnixTime(&tm) == 1000000000);

  /* Split in place, then put the separators back. */
  CHECK(NCommandCutter(line, ',', fields, 4) == 3 && strcmp(fields[2], "blue") == 0);
  NCommandRecover(line, ',', 2);
  CHECK(strcmp(line, "red,green,blue") == 0);

  /* JSON from tables of elements; texts are referenced, not copied. */
  CJSON_Init(&list, items, 3);
  CJSON_AddElement3(&list, NULL, 1, CJSON_TYPE_UNSIGNED);
  CJSON_AddElement3(&list, NULL, 2, CJSON_TYPE_UNSIGNED);
  CJSON_Init(&json, slots, 4);
  CJSON_AddElement1(&json, "name", "quorvel");
  CJSON_AddElement3(&json, "ok", 1, CJSON_TYPE_BOOLEAN);
  CJSON_AddElement2(&json, "list", &list, 1);
  CHECK(CJSON_CreateString(&json, text, sizeof text) == strlen(text));
  CHECK(strcmp(text, "{\"name\":\"quorvel\",\"ok\":true,\"list\":[1,2]}") == 0);

  CHECK(ini_parse_string("; settings\n[server]\nport = 8080\n", keep_port, port) == 0);
  CHECK(strcmp(port, "8080") == 0);
  CHECK(ini_parse_string("[server]\nno pair here\n", keep_port, port) == 2); /* line 2 */
  return 0;
}
