// CJSON_CreateString on random element tables: a few records nested into
// each other (the last may hold itself, which the depth bound stops),
// written into heap blocks of exactly the size handed over.  The measured
// length must equal what a roomy buffer receives, the whole text must be
// what the documented rules give, and a short buffer must get a
// zero-terminated text shorter than itself and nothing past it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorvel/runtime.h"
#include "fuzz_check.hpp"

namespace {

constexpr size_t kRecords = 4;
constexpr uint32_t kMaxSlots = 6;

struct Forest {
  std::vector<std::string> words;  // keys and texts point into these
  CJSON records[kRecords];
  std::vector<CJSON_Element *> tables;
};

// Appends the text the rules of runtime.h give when nothing is cut.
void model(const CJSON *json, bool as_array, uint32_t depth, std::string &s) {
  if (json == nullptr || depth > CJSON_MAX_DEPTH || json->elements == nullptr ||
      json->capacity == 0)
    return;
  s += as_array ? '[' : '{';
  bool first = true;
  for (uint32_t i = 0; i < json->capacity; ++i) {
    const CJSON_Element &e = json->elements[i];
    if (e.type < CJSON_TYPE_STRING || e.type > CJSON_TYPE_OBJECT) continue;
    if (!first) s += ',';
    first = false;
    if (!as_array) s.append("\"").append(e.key != nullptr ? e.key : "").append("\":");
    switch (e.type) {
      case CJSON_TYPE_STRING:
        s.append("\"").append(e.pointer ? static_cast<const char *>(e.pointer) : "").append("\"");
        break;
      case CJSON_TYPE_BOOLEAN: s += e.value != 0 ? "true" : "false"; break;
      case CJSON_TYPE_UNSIGNED: s += std::to_string(e.value); break;
      case CJSON_TYPE_SIGNED: s += std::to_string(static_cast<int32_t>(e.value)); break;
      default:
        model(static_cast<const CJSON *>(e.pointer), e.type == CJSON_TYPE_ARRAY, depth + 1, s);
    }
  }
  s += as_array ? ']' : '}';
}

bool top_is_array(const CJSON &json) {
  for (uint32_t i = 0; i < json.capacity; ++i)
    if (json.elements[i].key != nullptr && json.elements[i].key[0] != '\0') return false;
  return true;
}

const char *pick_word(FuzzedDataProvider &in, const Forest &f) {
  const size_t k = in.ConsumeIntegralInRange<size_t>(0, f.words.size() + 1);
  if (k == f.words.size()) return nullptr;
  if (k == f.words.size() + 1) return "";
  return f.words[k].c_str();
}

// Fills record r; nested pointers go to the next two records only, at most
// two per record.  The top record may instead refer to itself, once and
// to nothing else, which runs into the depth bound along a single path.
void build(FuzzedDataProvider &in, Forest &f, size_t r) {
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, kMaxSlots);
  CJSON *json = &f.records[r];
  CJSON_Element *table = capacity ? new CJSON_Element[capacity] : nullptr;
  f.tables.push_back(table);
  CJSON_Init(json, table, capacity);
  bool self_used = false;
  int nested_count = 0;
  for (uint32_t i = 0; i < capacity + 1; ++i) {  // one more than fits: ignored
    const char *key = pick_word(in, f);
    const uint32_t type = in.ConsumeIntegralInRange<uint32_t>(0, 7);
    if (type == CJSON_TYPE_STRING) {
      CJSON_AddElement1(json, key, pick_word(in, f));
    } else if (type == CJSON_TYPE_ARRAY || type == CJSON_TYPE_OBJECT) {
      const size_t target = in.ConsumeIntegralInRange<size_t>(r + 1, r + 3);
      const CJSON *nested = nullptr;
      if (r == 0 && target == 3 && nested_count == 0) {
        nested = json;
        self_used = true;
      } else if (target < kRecords && !self_used && nested_count < 2) {
        nested = &f.records[target];
      }
      ++nested_count;
      CJSON_AddElement2(json, key, nested, type == CJSON_TYPE_ARRAY);
    } else {
      CJSON_AddElement3(json, key, in.ConsumeIntegral<uint32_t>(), type);
    }
  }
  check(json->count == capacity);
}

// out of exactly size bytes (a fresh block, so ASan sees any byte past it).
void check_cut(const CJSON &top, uint32_t size, const std::string &whole) {
  char *out = static_cast<char *>(std::malloc(size));
  std::memset(out, 0x7f, size);
  const uint32_t n = CJSON_CreateString(&top, out, size);
  if (size < 3 || whole.empty()) {  // a short buffer or no table: nothing written
    check(n == 0);
    for (uint32_t i = 0; i < size; ++i) check(out[i] == 0x7f);
  } else {
    check(n < size && out[n] == '\0' && std::strlen(out) == n && n <= whole.size());
    if (size > whole.size()) check(whole == out);
  }
  std::free(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  Forest f{};
  const size_t words = in.ConsumeIntegralInRange<size_t>(0, 4);
  for (size_t i = 0; i < words; ++i) f.words.push_back(in.ConsumeRandomLengthString(12).c_str());
  for (size_t r = kRecords; r-- > 0;) build(in, f, r);

  const CJSON &top = f.records[0];
  const uint32_t measured = CJSON_CreateString(&top, nullptr, 0);
  std::string whole;
  model(&top, top_is_array(top), 1, whole);
  check(measured == whole.size());
  check_cut(top, measured + 1, whole);
  check_cut(top, measured + 1 + in.ConsumeIntegralInRange<uint32_t>(0, 8), whole);
  check_cut(top, in.ConsumeIntegralInRange<uint32_t>(0, measured + 1), whole);
  check(CJSON_CreateString(&top, nullptr, 0) == measured);  // nothing was changed

  for (CJSON_Element *table : f.tables) delete[] table;
  return 0;
}
