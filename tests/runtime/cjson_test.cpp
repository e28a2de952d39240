// The JSON builder against expected texts, cut at every buffer size.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "quorvel/runtime.h"
#include "support/alloc_fault.hpp"
#include "support/files.hpp"

namespace {

struct Case {
  const char *name;
  std::function<void(CJSON *)> build;  // fills a CJSON of 8 caller slots
  std::string text;
  uint32_t cut_size;  // one buffer size with its expected cut text
  const char *cut_text;
  bool prefix;  // every cut is a prefix (no nested record that may shrink to nothing)
};

std::string nested_self() {
  std::string s;
  for (uint32_t i = 0; i < CJSON_MAX_DEPTH; ++i) s += "{\"s\":";
  return s + std::string(CJSON_MAX_DEPTH, '}');
}

TEST(CJson, WritesCutsAndMeasures) {
  static CJSON inner, empty_nested;
  static CJSON_Element inner_table[2];
  CJSON_Init(&inner, inner_table, 2);
  CJSON_AddElement3(&inner, "keyed", 1, CJSON_TYPE_UNSIGNED);
  CJSON_AddElement1(&inner, nullptr, "in");
  CJSON_Init(&empty_nested, nullptr, 4);

  const std::vector<Case> cases = {
      {"one pair", [](CJSON *j) { CJSON_AddElement1(j, "name", "Bob"); }, "{\"name\":\"Bob\"}", 10,
       "{\"name\":", true},
      {"array of scalars",
       [](CJSON *j) {
         CJSON_AddElement1(j, nullptr, "x");
         CJSON_AddElement3(j, "", 4294967295u, CJSON_TYPE_SIGNED);
         CJSON_AddElement3(j, nullptr, 7, CJSON_TYPE_BOOLEAN);
       },
       "[\"x\",-1,true]", 8, "[\"x\",-1", true},
      {"mixed object",
       [](CJSON *j) {
         CJSON_AddElement2(j, "arr", &inner, 1);
         CJSON_AddElement3(j, "no", 0, CJSON_TYPE_BOOLEAN);
         CJSON_AddElement3(j, "u", 4294967295u, CJSON_TYPE_UNSIGNED);
         CJSON_AddElement3(j, "null", 5, CJSON_TYPE_STRING);
         CJSON_AddElement2(j, "gone", &empty_nested, 0);
         CJSON_AddElement2(j, "obj", &inner, 0);
         CJSON_SetElement1(&j->elements[6], "late", "z");      // past count, still written
         CJSON_SetElement3(&j->elements[7], "skipped", 9, 7);  // unknown type: empty slot
       },
       "{\"arr\":[1,\"in\"],\"no\":false,\"u\":4294967295,\"null\":\"\",\"gone\":,"
       "\"obj\":{\"keyed\":1,\"\":\"in\"},\"late\":\"z\"}",
       9, "{\"arr\":,", false},
      {"self nesting stops at the depth bound", [](CJSON *j) { CJSON_AddElement2(j, "s", j, 0); },
       nested_self(), 12, "{\"s\":{\"s\":}", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CJSON json;
    CJSON_Element table[8];
    CJSON_Init(&json, table, 8);
    c.build(&json);
    const uint32_t full = static_cast<uint32_t>(c.text.size());
    EXPECT_EQ(CJSON_CreateString(&json, nullptr, 0), full);
    for (uint32_t size = 0; size <= full + 1; ++size) {
      std::vector<char> buf(size + 8, '\x5a');
      uint32_t n = CJSON_CreateString(&json, buf.data(), size);
      std::string got(buf.data(), n);
      ASSERT_TRUE(n == 0 || (n < size && std::strlen(buf.data()) == n)) << size;
      if (size < 3) {
        ASSERT_EQ(buf[0], '\x5a');
      }
      if (c.prefix) {
        ASSERT_EQ(got, c.text.substr(0, n)) << size;
      }
      ASSERT_EQ(std::string(buf.begin() + size, buf.end()), std::string(8, '\x5a')) << size;
      if (size == c.cut_size) {
        EXPECT_EQ(got, c.cut_text);
      }
      if (size == full) {
        EXPECT_EQ(got, c.text.substr(0, full - 1));
      }
      if (size > full) {
        EXPECT_EQ(got, c.text);
      }
    }
  }
}

TEST(CJson, TableLimitsAndAllocation) {
  CJSON json;
  CJSON_Element slot[1];
  CJSON_Init(&json, slot, 1);
  CJSON_AddElement1(&json, "a", "1");
  CJSON_AddElement1(&json, "b", "2");  // table full: dropped
  CJSON_AddElement2(&json, "c", &json, 0);
  CJSON_AddElement3(&json, "d", 1, CJSON_TYPE_BOOLEAN);
  EXPECT_EQ(json.count, 1u);
  EXPECT_STREQ(slot[0].key, "a");
  // A nested record that is NULL writes nothing, like an empty one.
  CJSON_SetElement2(&slot[0], "n", nullptr, 0);
  char text[16];
  EXPECT_EQ(CJSON_CreateString(&json, text, sizeof text), 6u);
  EXPECT_STREQ(text, "{\"n\":}");
  // NULL records and elements are ignored; a capacity of 0 gives no table,
  // Init2 refuses a table past 32 bits without allocating it.
  CJSON_Init(nullptr, slot, 1);
  EXPECT_EQ(slot[0].type, 0u);
  CJSON_AddElement1(nullptr, "a", "1");
  CJSON_SetElement1(nullptr, "a", "1");
  CJSON_SetElement2(nullptr, "a", &json, 1);
  CJSON_SetElement3(nullptr, "a", 1, CJSON_TYPE_BOOLEAN);
  CJSON_Free(nullptr);
  EXPECT_EQ(CJSON_CreateString(nullptr, text, sizeof text), 0u);
  EXPECT_EQ(CJSON_Init2(nullptr, 4), -1);
  CJSON_Init(&json, slot, 0);
  EXPECT_EQ(json.elements, nullptr);
  json.count = 5;
  EXPECT_EQ(CJSON_Init2(&json, 0x20000000u), -1);
  EXPECT_EQ(json.count, 5u);
  EXPECT_EQ(CJSON_Init2(&json, 0), 0);
  EXPECT_EQ(json.count + json.capacity, 0u);
  EXPECT_EQ(json.elements, nullptr);
  CJSON_Init(&json, slot, 1);
  CJSON_Free(&json);  // the caller's table is not freed, only forgotten
  EXPECT_EQ(json.elements, nullptr);
  CJSON_Init(&json, nullptr, 5);  // no table: nothing to add or write
  CJSON_AddElement1(&json, "a", "1");
  EXPECT_EQ(json.capacity + CJSON_CreateString(&json, nullptr, 0), 0u);

  // A refused table leaves json as it was; with memory back the same call
  // gives a working record, and CJSON_Free gives the table back.
  qrvl_test::AllocFault fault;
  bool made = false;
  const int rounds = fault.sweep(
      [&](int) {
        json.count = 77;
        made = CJSON_Init2(&json, 4) == 0;
        EXPECT_EQ(made, fault.refused() == 0);
        if (!made) {
          EXPECT_EQ(json.count, 77u);
        }
      },
      [&] {
        if (!made) {
          ASSERT_EQ(CJSON_Init2(&json, 4), 0);
        }
        CJSON_AddElement3(&json, "t", 1, CJSON_TYPE_BOOLEAN);
        char out[16];
        EXPECT_EQ(CJSON_CreateString(&json, out, sizeof out), 10u);
        EXPECT_STREQ(out, "{\"t\":true}");
        CJSON_Free(&json);
        EXPECT_EQ(json.elements, nullptr);
      });
  EXPECT_EQ(rounds, 2);
}

// Random trees of every element type, written out and read back by Python's
// json module; it writes each one again compactly, which must give the very
// same text (no escaping is needed for these keys and texts).
struct RandomTree {
  std::vector<CJSON> records = std::vector<CJSON>(64);
  std::vector<CJSON_Element> slots = std::vector<CJSON_Element>(64 * 4);
  std::vector<std::string> texts = std::vector<std::string>(64 * 8);  // keys and values
  size_t used = 0;
  uint32_t seed;

  uint32_t next() { return seed = seed * 1103515245u + 12345u, seed >> 8; }
  CJSON *build(int depth, bool is_array) {
    size_t me = used++;
    CJSON *json = &records[me];
    CJSON_Init(json, &slots[me * 4], 4);
    for (uint32_t i = 0, n = next() % 5; i < n; ++i) {
      std::string &value = texts[me * 8 + 2 * i] = "text " + std::to_string(next());
      const char *k =
          is_array ? nullptr : (texts[me * 8 + 2 * i + 1] = "k" + std::to_string(i)).c_str();
      uint32_t kind = next() % (depth < 3 && used < 60 ? 6 : 4);
      if (kind == 0) CJSON_AddElement1(json, k, value.c_str());
      if (kind == 1) CJSON_AddElement3(json, k, next() % 2, CJSON_TYPE_BOOLEAN);
      if (kind == 2) CJSON_AddElement3(json, k, next() * 997u, CJSON_TYPE_UNSIGNED);
      if (kind == 3) CJSON_AddElement3(json, k, next() * 997u, CJSON_TYPE_SIGNED);
      if (kind >= 4) CJSON_AddElement2(json, k, build(depth + 1, kind == 4), kind == 4);
    }
    return json;
  }
};

TEST(CJson, PythonReadsBackWhatItWrites) {
#if defined(_WIN32)
  GTEST_SKIP() << "the check runs python3 through a POSIX shell";
#else
  if (std::system("python3 -c 'import json' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3 is not installed";
  std::string texts;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    RandomTree tree{.seed = seed};
    CJSON *root = tree.build(0, false);
    std::vector<char> out(CJSON_CreateString(root, nullptr, 0) + 1);
    CJSON_CreateString(root, out.data(), static_cast<uint32_t>(out.size()));
    texts += std::string(out.data()) + "\n";
  }
  const qrvl_test::TempDir dir;
  const std::string path = dir / "texts.txt";
  FILE *f = std::fopen(path.c_str(), "w");
  std::fputs(texts.c_str(), f);
  std::fclose(f);
  const std::string command =
      "python3 -c 'import json,sys\nfor l in open(sys.argv[1]): print(json.dumps("
      "json.loads(l), separators=(\",\", \":\")))' " +
      path;
  FILE *p = popen(command.c_str(), "r");
  std::string back;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p) != nullptr) back += buf;
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(back, texts);
#endif
}

}  // namespace
