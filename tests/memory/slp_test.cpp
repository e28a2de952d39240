// The Slp text ring, the Cclass object pool, bit arrays and the heap hook.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "quorvel/memory.h"
#include "support/alloc_fault.hpp"

namespace {

std::string kept(const Slp *slp) {
  return std::string(slp_getstr_p1(slp)) + slp_getstr_p2(slp);
}

TEST(Bits, MostSignificantFirst) {
  uint8_t b[3] = {0, 0, 0};
  SetBit(b, 0, 1);
  EXPECT_EQ(b[0], 0x80);
  SetBit(b, 9, 5);
  EXPECT_EQ(b[1], 0x40);
  EXPECT_EQ(GetBit(b, 9), 1);
  EXPECT_EQ(GetBit(b, 8), 0);
  SetBit(b, 0, 0);
  SetBitsByStr(b, 4, "1x0");
  EXPECT_EQ(b[0], 0x0C);
  char text[8] = "#######";
  GetBitsIntoStr(b, 4, 3, text);
  EXPECT_STREQ(text, "110");
  GetBitsIntoStr(b, 4, 0, text);
  EXPECT_EQ(std::string(text, 2), std::string("\0001", 2));

  // A run across a byte boundary, and an empty text that changes nothing.
  SetBitsByStr(b, 6, "0110101");
  SetBitsByStr(b, 0, "");
  char all[17];
  GetBitsIntoStr(b, 0, 16, all);
  EXPECT_STREQ(all, "0000110110101000");

  SetBit(nullptr, 3, 1);
  SetBitsByStr(nullptr, 3, "1");
  EXPECT_EQ(GetBit(nullptr, 3), 0);
  GetBitsIntoStr(nullptr, 0, 3, text);
  GetBitsIntoStr(b, 0, 3, nullptr);
  // A null text changes no bit and writes nothing.
  SetBitsByStr(b, 0, nullptr);
  GetBitsIntoStr(b, 0, 16, all);
  EXPECT_STREQ(all, "0000110110101000");
}

TEST(Cclass, HandsOutLowestAndWarns) {
  Cclass pool;
  uint8_t flags[2] = {7, 7};
  uint64_t objects[2] = {~0ull, ~0ull};
  Cclass_pool(&pool, flags, objects, 2, sizeof(uint64_t));
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(objects[1], 0u);

  // Each call prints its own line or nothing; "|" marks the calls apart.
  testing::internal::CaptureStdout();
  EXPECT_EQ(Cclass_new(&pool), &objects[0]);
  EXPECT_EQ(Cclass_new(&pool), &objects[1]);
  std::fputs("|", stdout);
  EXPECT_EQ(Cclass_new(&pool), nullptr);
  std::fputs("|", stdout);
  Cclass_delete(&pool, &objects[1]);
  EXPECT_EQ(flags[1], 0);
  std::fputs("|", stdout);
  Cclass_delete(&pool, &objects[1]);
  for (void *bad : {static_cast<void *>(reinterpret_cast<uint8_t *>(objects) + 1),
                    static_cast<void *>(&objects[2]), static_cast<void *>(&pool)}) {
    std::fputs("|", stdout);
    Cclass_delete(&pool, bad);
  }
  EXPECT_EQ(flags[0], 1);
  EXPECT_EQ(Cclass_new(&pool), &objects[1]);
  Cclass empty;
  Cclass_pool(&empty, flags, objects, 0, 8);
  std::fputs("|", stdout);
  EXPECT_EQ(Cclass_new(&empty), nullptr);
  std::fputs("|", stdout);
  Cclass_delete(&empty, objects);
  const std::string invalid = "warning: delete an invalid C-class pointer !\r\n",
                    none = "warning: no memory space !\r\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "|" + none + "||warning: delete an expire C-class pointer !\r\n|" + invalid + "|" +
                invalid + "|" + invalid + "|" + none + "|" + invalid);
}

// Objects of no bytes share one address: each delete frees the lowest in use.
TEST(Cclass, ZeroSizeObjectsShareOneAddress) {
  Cclass pool;
  uint8_t flags[3] = {7, 7, 7};
  Cclass_pool(&pool, flags, nullptr, 3, 0);  // no bytes to hold: NULL objects will do
  EXPECT_EQ(pool.count, 3u);
  uint64_t objects[2];
  Cclass_pool(&pool, flags, &objects[1], 3, 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Cclass_new(&pool), &objects[1]);
  EXPECT_EQ(Cclass_new(&pool), &objects[1]);
  std::fputs("|", stdout);
  Cclass_delete(&pool, reinterpret_cast<uint8_t *>(&objects[1]) + 1);
  std::fputs("|", stdout);
  Cclass_delete(&pool, &objects[0]);  // below the pool
  std::fputs("|", stdout);
  Cclass_delete(&pool, &objects[1]);
  EXPECT_EQ(std::vector<int>(flags, flags + 3), (std::vector<int>{0, 1, 0}));
  Cclass_delete(&pool, &objects[1]);
  EXPECT_EQ(std::vector<int>(flags, flags + 3), (std::vector<int>{0, 0, 0}));
  std::fputs("|", stdout);
  Cclass_delete(&pool, &objects[1]);
  // Objects of 8 bytes need an array: without one the pool has none.
  Cclass_pool(&pool, flags, nullptr, 3, 8);
  EXPECT_EQ(pool.count, 0u);
  std::fputs("|", stdout);
  EXPECT_EQ(Cclass_new(&pool), nullptr);
  const std::string invalid = "warning: delete an invalid C-class pointer !\r\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "|" + invalid + "|" + invalid + "||warning: delete an expire C-class pointer !\r\n|" +
                "warning: no memory space !\r\n");
}

// The library's door to the heap, with the counting hooks installed.
TEST(AllocHook, CallocAndTheCLibraryBehindANullHook) {
  using namespace quorvel::detail;
  qrvl_test::AllocFault fault;
  void *a = qrvl_calloc(0, 8), *b = qrvl_calloc(8, 0);  // no bytes: still unique blocks
  EXPECT_TRUE(a != nullptr && b != nullptr && a != b);
  qrvl_free(a);
  qrvl_free(b);
  EXPECT_EQ(qrvl_calloc(SIZE_MAX, 2), nullptr);  // overflows: the hook is not asked
  EXPECT_EQ(fault.mallocs(), 2);

  // Null puts the C library back and hands over the hooks it replaces.
  const AllocHooks counting = set_alloc_hooks(nullptr);
  qrvl_free(qrvl_malloc(4));
  EXPECT_EQ(fault.mallocs(), 2);
  EXPECT_EQ(fault.frees(), 2);
  set_alloc_hooks(&counting);
  qrvl_free(qrvl_malloc(4));
  EXPECT_EQ(fault.mallocs(), 3);
  EXPECT_EQ(fault.frees(), 3);
}

TEST(Slp, SetUpReleaseAndWrap) {
  Slp slp;
  char one[1];
  EXPECT_EQ(slp_melink(&slp, one, 1), -1);
  EXPECT_EQ(slp_melink(&slp, nullptr, 64), -1);
  char buf[64];
  std::memset(buf, 'z', sizeof buf);
  ASSERT_EQ(slp_melink(&slp, buf, sizeof buf), 0);
  EXPECT_EQ(buf[63], '\0');
  EXPECT_EQ(kept(&slp), "");
  EXPECT_EQ(slp_mefree(&slp), -1);  // caller memory is not ours to free

  EXPECT_EQ(slp_malloc(&slp, 0, 10), -1);
  EXPECT_EQ(slp_malloc(&slp, 0x10000, 0x10000), -1);  // 2^32 does not fit
  // The ring comes through the allocation hook: refused, then made by the
  // same call once memory is back, used and given back.
  qrvl_test::AllocFault faults;
  bool made = false;
  const int rounds = faults.sweep(
      [&](int) {
        made = slp_malloc(&slp, 4, 16) == 0;
        EXPECT_EQ(made, faults.refused() == 0);
      },
      [&] {
        if (!made) {
          ASSERT_EQ(slp_malloc(&slp, 4, 16), 0);
        }
        for (const char *t : {"ab\n", "", "cd\n"}) slp_putstr(&slp, t);
        slp_putstr(&slp, nullptr);  // nothing, as for the empty text
        char out[65];
        // A max above INT32_MAX still copies what is unread.
        EXPECT_EQ(slp_readstr(&slp, out, UINT32_MAX, nullptr), 7);
        EXPECT_EQ(std::string(out, 7), std::string("ab\ncd\n", 7));
        EXPECT_EQ(slp_readstr(&slp, nullptr, 64, nullptr), -1);
        EXPECT_EQ(slp_mefree(&slp), 0);
      });
  EXPECT_EQ(rounds, 2);

  // Once the ring is full the kept text wraps: the part up to the end of the
  // buffer comes first.
  ASSERT_EQ(slp_melink(&slp, buf, 9), 0);
  for (const char *line : {"ab\n", "cd\n", "ef\n"}) slp_putstr(&slp, line);
  EXPECT_STREQ(slp_getstr_p1(&slp), "ef");
  EXPECT_STREQ(slp_getstr_p2(&slp), "\n");
}

// Random appends and reads against a model of the kept text (newest whole
// lines within capacity - 2 once full) and of the reader.
TEST(Slp, MatchesModel) {
  std::mt19937 rng(77);
  for (uint32_t capacity : {1u, 2u, 3u, 8u, 50u, 257u}) {
    SCOPED_TRACE(capacity);
    std::vector<char> buf(capacity + 1);
    Slp slp;
    ASSERT_EQ(slp_melink(&slp, buf.data(), capacity + 1), 0);
    std::string all, model;
    size_t reader = 0;
    bool zero_read = true, overflowed = false;
    for (int step = 0; step < 3000; ++step) {
      if (rng() % 3 != 0) {
        std::string t;
        const uint32_t len = 1 + rng() % (rng() % 8 == 0 ? capacity + 10 : 12);
        for (uint32_t i = 0; i < len; ++i) t += rng() % 5 == 0 ? '\n' : char('a' + rng() % 26);
        slp_putstr(&slp, t.c_str());
        all += t;
        zero_read = false;
        std::string joined = model + t;
        bool no_line_left = false;
        if (joined.size() + 2 <= capacity) {
          model = joined;
        } else {
          const size_t window = capacity >= 2 ? capacity - 2 : 0;
          const std::string w = joined.substr(joined.size() - window);
          const size_t nl = w.find('\n');
          model = nl == std::string::npos ? "" : w.substr(nl + 1);
          no_line_left = nl == std::string::npos;
        }
        if (reader < all.size() - model.size()) {
          overflowed = true;
          reader = all.size() - model.size();
          // The reader stops on the kept text's zero, or past it if no line was left.
          zero_read = no_line_left;
        }
        ASSERT_EQ(kept(&slp), model) << "step " << step;
      } else {
        const uint32_t max = rng() % (capacity + 3);
        std::vector<char> out(max + 1, '#');
        uint8_t overflow = 7;
        const int32_t n = slp_readstr(&slp, out.data(), max, &overflow);
        ASSERT_EQ(overflow, overflowed ? 1 : 0) << "step " << step;
        overflowed = false;
        std::string expect = all.substr(reader);
        if (!zero_read) expect += '\0';
        expect = expect.substr(0, max);
        ASSERT_EQ(std::string(out.data(), n), expect) << "step " << step;
        ASSERT_EQ(out[n], '\0');
        reader += std::min<size_t>(n, all.size() - reader);
        if (!expect.empty() && expect.back() == '\0') zero_read = true;
      }
    }
  }
}

}  // namespace
