// The JSON builder against the snprintf call a user would write for the
// same object, and the INI parser against a plain strchr line splitter.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "quorvel.h"

namespace {

// Ten members: four strings, four numbers, two booleans.
struct Record {
  const char *name = "sensor-17";
  const char *site = "north-hall";
  const char *model = "QX-400";
  const char *state = "running";
  uint32_t id = 4017;
  int32_t offset = -273;
  uint32_t uptime = 86400123;
  uint32_t samples = 1048576;
  uint32_t online = 1;
  uint32_t alarm = 0;
};

int write_with_snprintf(const Record &r, char *out, size_t size) {
  return snprintf(out, size,
                  "{\"name\":\"%s\",\"site\":\"%s\",\"model\":\"%s\",\"state\":\"%s\",\"id\":%u,"
                  "\"offset\":%d,\"uptime\":%u,\"samples\":%u,\"online\":%s,\"alarm\":%s}",
                  r.name, r.site, r.model, r.state, r.id, r.offset, r.uptime, r.samples,
                  r.online ? "true" : "false", r.alarm ? "true" : "false");
}

void BM_CJSON_CreateString(benchmark::State &state) {
  Record r;
  CJSON json;
  CJSON_Element table[10];
  CJSON_Init(&json, table, 10);
  CJSON_AddElement1(&json, "name", r.name);
  CJSON_AddElement1(&json, "site", r.site);
  CJSON_AddElement1(&json, "model", r.model);
  CJSON_AddElement1(&json, "state", r.state);
  CJSON_AddElement3(&json, "id", r.id, CJSON_TYPE_UNSIGNED);
  CJSON_AddElement3(&json, "offset", static_cast<uint32_t>(r.offset), CJSON_TYPE_SIGNED);
  CJSON_AddElement3(&json, "uptime", r.uptime, CJSON_TYPE_UNSIGNED);
  CJSON_AddElement3(&json, "samples", r.samples, CJSON_TYPE_UNSIGNED);
  CJSON_AddElement3(&json, "online", r.online, CJSON_TYPE_BOOLEAN);
  CJSON_AddElement3(&json, "alarm", r.alarm, CJSON_TYPE_BOOLEAN);
  char out[512], expected[512];
  write_with_snprintf(r, expected, sizeof expected);
  CJSON_CreateString(&json, out, sizeof out);
  if (strcmp(out, expected) != 0) state.SkipWithError("the two texts differ");
  for (auto _ : state) {
    benchmark::DoNotOptimize(CJSON_CreateString(&json, out, sizeof out));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CJSON_CreateString);

void BM_snprintf_json(benchmark::State &state) {
  Record r;
  char out[512];
  for (auto _ : state) {
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(write_with_snprintf(r, out, sizeof out));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_snprintf_json);

// About 1 MiB: sections of eight pairs with a comment and a blank line.
std::string ini_text() {
  std::string text;
  for (int s = 0; text.size() < 1024 * 1024; ++s) {
    text += "; section " + std::to_string(s) + "\n[device" + std::to_string(s) + "]\n";
    for (int k = 0; k < 8; ++k)
      text += "key" + std::to_string(k) + " = value number " + std::to_string(s * 8 + k) + "\n";
    text += "\n";
  }
  return text;
}

int32_t count_pair(void *user, const char *, const char *, const char *value, int32_t) {
  *static_cast<size_t *>(user) += value[0] != '\0';
  return 1;
}

void BM_ini_parse_string(benchmark::State &state) {
  std::string text = ini_text();
  size_t pairs = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ini_parse_string(text.c_str(), count_pair, &pairs));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ini_parse_string);

char *trim(char *s) {
  while (*s == ' ' || *s == '\t') ++s;
  char *end = s + strlen(s);
  while (end > s && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) *--end = '\0';
  return s;
}

// What a caller would write by hand: lines split with strchr into a line
// buffer, comments and sections recognised, each pair split at '='; no
// inline comments, continuations or error lines.
void hand_parse(const char *text, size_t *pairs) {
  char line[1000];
  char section[50] = "";
  for (const char *p = text; *p != '\0';) {
    const char *lf = strchr(p, '\n');
    size_t n = lf ? static_cast<size_t>(lf - p) : strlen(p);
    if (n > sizeof line - 1) n = sizeof line - 1;
    memcpy(line, p, n);
    line[n] = '\0';
    p = lf ? lf + 1 : p + n;
    char *s = trim(line);
    if (*s == '\0' || *s == ';' || *s == '#') continue;
    if (*s == '[') {
      if (char *end = strchr(s, ']')) {
        *end = '\0';
        snprintf(section, sizeof section, "%s", s + 1);
      }
      continue;
    }
    if (char *eq = strchr(s, '=')) {
      *eq = '\0';
      count_pair(pairs, section, trim(s), trim(eq + 1), 0);
    }
  }
}

void BM_hand_parse(benchmark::State &state) {
  std::string text = ini_text();
  size_t pairs = 0;
  for (auto _ : state) {
    hand_parse(text.c_str(), &pairs);
    benchmark::DoNotOptimize(pairs);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_hand_parse);

}  // namespace
