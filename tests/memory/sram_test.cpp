// The sram pool links once per process, so every case runs in a child
// process; its standard output and exit status come back to the test.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "memory/sram.hpp"
#include "quorvel/memory.h"
#include "support/child_process.hpp"

namespace {

using quorvel::detail::kSramFreeMagic;
using quorvel::detail::kSramUsedMagic;
using quorvel::detail::sram_view;
using quorvel::detail::SramHeader;

// Sizes are rounded to the pointer size; a header is two 32-bit words and a pointer.
constexpr uint32_t G = sizeof(void *);
constexpr uint32_t H = G == 4 ? 12 : 16;
constexpr uint32_t up(uint32_t n) {
  return (n + G - 1) / G * G;
}

// A failed CHECK ends the child with 100 and says where.
#define CHECK(cond)                                                  \
  do {                                                               \
    if (!(cond)) {                                                   \
      std::printf("CHECK failed at line %d: %s\n", __LINE__, #cond); \
      qrvl_test::child_exit(100);                                    \
    }                                                                \
  } while (0)

// Runs body in a child with standard output captured and expects how it
// ends and what it printed.
template <class Body>
void expect_child(const std::string &status, const std::string &out, Body body) {
  const qrvl_test::ChildResult r = qrvl_test::run_child(body, {.capture_stdout = true});
  EXPECT_EQ(r.status, status) << r.out;
  EXPECT_EQ(r.out, out);
}

// A fatal stop's exit(-1) as the status shows it: the low 8 bits on POSIX,
// all 32 on Windows.
#if defined(_WIN32)
constexpr char kFatalExit[] = "exit 4294967295";
#else
constexpr char kFatalExit[] = "exit 255";
#endif

alignas(64) uint8_t g_region[1 << 17];

SramHeader header_at(uintptr_t h) {
  SramHeader x;
  std::memcpy(&x, reinterpret_cast<const void *>(h), sizeof x);
  return x;
}
SramHeader header_of(const void *payload) {
  return header_at(reinterpret_cast<uintptr_t>(payload) - H);
}

struct Usage {
  uint32_t free, used;
};
Usage usage() {
  Usage u{};
  sram_usage(&u.free, &u.used, nullptr);
  return u;
}

std::string fatal_line(const void *p, const char *where, const char *bytes) {
  char line[160];
  std::snprintf(line, sizeof line, "[fatal error] pointer(%p) %s core dump {%s}!!\r\n", p, where,
                bytes);
  return line;
}

TEST(Sram, BeforeAndAtLink) {
  const std::string out =
      "[warning] pointer missing !!\r\n"
      "[warning] pointer access violence when sram_realloc() !!\r\n";
  expect_child("exit 0", out, [] {
    CHECK(sram_is_init() == 0 && sram_malloc(8) == nullptr);
    CHECK(sram_calloc(2, 8) == nullptr && sram_realloc(nullptr, 8) == nullptr);
    uint32_t f = 9, u = 9, t = 9;
    sram_usage(&f, &u, &t);
    CHECK(f == 0 && u == H && t == 0);
    sram_free(g_region);
    CHECK(sram_realloc(g_region, 8) == nullptr);
    CHECK(sram_poollink(g_region, 3 * H - 1) == -1);
    CHECK(sram_poollink(nullptr, 4096) == -1 && sram_is_init() == 0);
    CHECK(sram_poollink(g_region, 3 * H) == 0 && sram_is_init() == 1);
    sram_usage(&f, &u, &t);
    CHECK(u == H && f == 2 * H && t == 0);
    CHECK(sram_poollink(g_region + 1024, 4096) == -2);
    void *addrs[1] = {g_region + 1024};
    uint32_t sizes[1] = {4096};
    CHECK(sram_partial_poollink(addrs, sizes, 1) == -2);
    // 2H payload bytes are free, but a block needs its size plus a header.
    CHECK(sram_malloc(H + 1) == nullptr);
    sram_usage(nullptr, nullptr, nullptr);
  });
}

TEST(Sram, LastBlockIsNotSplit) {
  expect_child("exit 0", "", [] {
    CHECK(sram_poollink(g_region, 10 * H) == 0);
    const uint32_t n = 8 * H;  // the single free block holds 9H: exactly n + H
    auto *p = static_cast<uint8_t *>(sram_malloc(n));
    CHECK(p != nullptr && header_of(p).size == n);
    CHECK(usage().used == H + n && usage().free == H && sram_malloc(1) == nullptr);
    sram_free(p);
    // The H bytes behind the last block are gone for good.
    CHECK(usage().used == H && header_of(p).size == n);
    CHECK(sram_malloc(8 * H) == nullptr && sram_malloc(7 * H) == p);
  });
  // Freed in front of it, the unsplit last block merges into one free block
  // that ends where the heap does.
  expect_child("exit 0", "", [] {
    CHECK(sram_poollink(g_region, 10 * H) == 0);
    void *a = sram_malloc(H), *b = sram_malloc(6 * H);
    CHECK(a != nullptr && b != nullptr && usage().used == 9 * H);
    sram_free(a);
    sram_free(b);
    CHECK(usage().used == H && header_of(a).magic == kSramFreeMagic && header_of(a).size == 8 * H);
    CHECK(sram_malloc(8 * H) == nullptr && sram_malloc(7 * H) == a);
  });
}

TEST(Sram, CallocAndRealloc) {
  const std::string warning = "[warning] pointer access violence when sram_realloc() !!\r\n";
  expect_child("exit 0", "--\n" + warning + warning, [] {
    CHECK(sram_poollink(g_region, 8192) == 0);
    std::memset(g_region + H, 0xAB, 4096);
    // Clearing with count != 0 is checked over used memory by the random model.
    auto *m = static_cast<uint8_t *>(sram_calloc(0, 10));  // count 0: not cleared
    CHECK(header_of(m).size == up(10) && m[0] == 0xAB && m[up(10) - 1] == 0xAB);
    CHECK(sram_calloc(0x10000, 0x10000) == nullptr);  // product wraps
    CHECK(sram_calloc(3, 0) == nullptr && sram_malloc(0xFFFFFFFFu) == nullptr);

    // Growing, shrinking and failing in place are checked by the random model.
    auto *n = static_cast<uint8_t *>(sram_realloc(nullptr, 24));
    CHECK(n != nullptr && header_of(n).size == 24);
    CHECK(sram_realloc(n, 0) == nullptr && header_of(n).magic == kSramFreeMagic);
    std::fputs("--\n", stdout);
    CHECK(sram_realloc(g_region + 8192, 8) == nullptr);
    CHECK(sram_realloc(g_region + H - 1, 8) == nullptr);
  });
}

// Overwrites the magic of a's used header or of b's free one, then allocates.
void damage_and_allocate(bool free_one, uint32_t bad) {
  auto *a = static_cast<uint8_t *>(sram_malloc(16));
  auto *b = static_cast<uint8_t *>(sram_malloc(16));
  sram_free(b);
  std::memcpy((free_one ? b : a) - H, &bad, 4);
  sram_malloc(100);
}

TEST(Sram, WarningsAndFatalStops) {
  const std::string both =
      "[warning] pointer access violence when Free_Alloc() !!\r\n"
      "[warning] pointer missing !!\r\n";
  expect_child("exit 0", both + both, [] {
    CHECK(sram_poollink(g_region, 4096) == 0);
    void *p = sram_malloc(32);
    const uint32_t used = usage().used;
    sram_free(g_region + 4096);
    sram_free(g_region + H - 1);
    CHECK(usage().used == used && header_of(p).magic == kSramUsedMagic);
  });
  // Freed twice, freed inside a block, then a damaged used header (of a) and
  // a damaged free one (of b) met while allocating.
  struct {
    uintptr_t at;
    const char *where, *bytes;
    void (*fault)();
  } const stops[] = {
      {H, "Free_Alloc()", "0, 0.41.4d",
       [] {
         void *p = sram_malloc(32);
         sram_malloc(32);
         sram_free(p);
         sram_free(p);
       }},
      {H + 32, "Free_Alloc()", "5c, 5c.5c.5c",
       [] {
         auto *q = static_cast<uint8_t *>(sram_malloc(64));
         std::memset(q, 0x5C, 64);
         sram_free(q + 32);
       }},
      {H, "Get_Alloc()", "12, 34.56.78", [] { damage_and_allocate(false, 0x12345678u); }},
      {2 * H + 16, "Get_Alloc()", "0, ab.0.0", [] { damage_and_allocate(true, 0x00AB0000u); }},
  };
  for (const auto &stop : stops) {
    expect_child(kFatalExit, fatal_line(g_region + stop.at, stop.where, stop.bytes), [&stop] {
      CHECK(sram_poollink(g_region, 4096) == 0);
      stop.fault();
    });
  }
}

TEST(Sram, PartialLinkSortsAndBridges) {
  expect_child("exit 0", "", [] {
    uint8_t *r = g_region;
    auto link = [](std::vector<void *> a, std::vector<uint32_t> s) {
      return sram_partial_poollink(a.data(), s.data(), uint32_t(a.size()));
    };
    void *addrs[3] = {r + 20001, r + 10000, r};
    uint32_t sizes[3] = {3000, 2000, 1000};
    CHECK(sram_partial_poollink(addrs, sizes, 0) == -1);
    CHECK(link({r, r + 5000}, {3 * H, 3 * H - 1}) == -1);
    CHECK(link({nullptr}, {500}) == -1);
    CHECK(link({r + 600, r}, {500, 601}) == -1);  // overlapping
    void *dup[3] = {r + 5000, r + 4999, r};
    uint32_t dup_sizes[3] = {500, 500, 500};
    CHECK(sram_partial_poollink(dup, dup_sizes, 3) == -1);
    CHECK(dup[1] == r + 4999 && sram_is_init() == 0);  // the refused entry is not rewritten

    CHECK(sram_partial_poollink(addrs, sizes, 3) == 0);
    const uint32_t third = up(20001), last = 3000 - (third - 20001);  // start aligned up
    CHECK(addrs[0] == r && addrs[1] == r + 10000 && addrs[2] == r + third);
    CHECK(sizes[0] == 1000 && sizes[1] == 2000 && sizes[2] == last);
    CHECK(sram_view().base == reinterpret_cast<uintptr_t>(r) && sram_view().total == third + last);
    // Three headers, two bridge headers and the two gaps.
    CHECK(usage().used == 5 * H + 9000 + (third - 12000));
  });
  // Regions already in order link as given; a span past 32 bits is refused
  // before anything is written (the far region is never touched); NULL is
  // ignored by sram_free, silently.
  expect_child("exit 0", "", [] {
    uint8_t *r = g_region;
    sram_free(nullptr);
    if (sizeof(void *) == 8) {
      const uint64_t beyond = reinterpret_cast<uintptr_t>(r) + (uint64_t{1} << 32);
      void *wide[2] = {r, reinterpret_cast<void *>(static_cast<uintptr_t>(beyond))};
      uint32_t wide_sizes[2] = {1000, 1000};
      CHECK(sram_partial_poollink(wide, wide_sizes, 2) == -1 && sram_is_init() == 0);
    }
    void *addrs[2] = {r, r + 4000};
    uint32_t sizes[2] = {1000, 2000};
    CHECK(sram_partial_poollink(addrs, sizes, 2) == 0);
    CHECK(addrs[0] == r && addrs[1] == r + 4000 && sram_view().total == 6000);
    sram_free(nullptr);
    CHECK(usage().used == 3 * H + 3000);
  });
}

// A live block as the model knows it: payload bytes, all set to fill.
struct Live {
  uint32_t size;
  uint8_t fill;
};

// Compared as whole ranges: byte loops crawl under the sanitizers.
bool filled(uintptr_t p, uint32_t size, uint8_t fill) {
  static std::vector<uint8_t> expect;
  expect.assign(size, fill);
  return std::memcmp(reinterpret_cast<const void *>(p), expect.data(), size) == 0;
}

// Walks the heap and checks its invariants against the live blocks the
// model knows; returns the first free block that could serve n (0 if none).
uintptr_t check_heap(const std::map<uintptr_t, Live> &live, uint32_t bridges, uint32_t n) {
  const auto view = sram_view();
  uintptr_t h = view.base, before = 0, fit = 0;
  bool last_free = false;
  uint64_t used = 0;
  uint32_t seen_live = 0, seen_bridges = 0;
  for (;;) {
    const SramHeader x = header_at(h);
    const bool is_free = x.magic == kSramFreeMagic;
    CHECK(x.prev == before && (is_free || x.magic == kSramUsedMagic) && !(is_free && last_free));
    used += H + (is_free ? 0 : x.size);
    if (is_free && fit == 0 && x.size >= uint64_t{n} + H) fit = h;
    const auto it = is_free ? live.end() : live.find(h + H);
    seen_bridges += !is_free && it == live.end();
    if (it != live.end()) {
      ++seen_live;
      CHECK(it->second.size == x.size && filled(h + H, x.size, it->second.fill));
    }
    last_free = is_free;
    const uint64_t next = (h - view.base) + uint64_t{H} + x.size;
    before = h;
    if (next >= view.total - H) {
      CHECK(next == view.total || next == view.total - H);
      break;
    }
    h = view.base + next;
  }
  CHECK(seen_live == live.size() && seen_bridges == bridges && used == view.used);
  return fit;
}

// Thousands of random malloc/calloc/realloc/free calls against a model of
// the live blocks, with the heap walked after every step.
void model_run(uint32_t seed, uint32_t bridges) {
  std::mt19937 rng(seed);
  std::map<uintptr_t, Live> live;
  uint8_t fill = 0;
  auto want = [&] { return rng() % 8 == 0 ? 1 + rng() % 3000 : 1 + rng() % 200; };
  auto keep = [&](uint8_t *p, uint32_t size) {
    fill = fill == 255 ? 1 : fill + 1;
    std::memset(p, fill, size);
    live[reinterpret_cast<uintptr_t>(p)] = {size, fill};
  };
  for (int step = 0; step < 4000; ++step) {
    const uint32_t op = live.empty() ? 0 : rng() % 10;
    if (op < 5) {  // malloc, or calloc with count 0..3 (0: not cleared)
      const uint32_t count = op == 4 ? rng() % 4 : 0, size = op == 4 ? 1 + rng() % 100 : want();
      const uint32_t n = up(count ? count * size : size);
      const uintptr_t fit = check_heap(live, bridges, n);
      auto *p = static_cast<uint8_t *>(op == 4 ? sram_calloc(count, size) : sram_malloc(size));
      CHECK(reinterpret_cast<uintptr_t>(p) == (fit ? fit + H : 0));
      CHECK(!p || !count || filled(reinterpret_cast<uintptr_t>(p), n, 0));
      if (p) keep(p, n);
    } else if (op < 7) {  // realloc: shrinks in place, moves the bytes or fails
      const auto it = std::next(live.begin(), long(rng() % live.size()));
      auto *old = reinterpret_cast<uint8_t *>(it->first);
      const Live was = it->second;
      const uint32_t n = want();
      auto *p = static_cast<uint8_t *>(sram_realloc(old, n));
      CHECK(n > was.size ? p != old : p == old);
      if (p != nullptr && p != old) {  // else old stays live and unchanged
        CHECK(filled(reinterpret_cast<uintptr_t>(p), was.size, was.fill));
        live.erase(it);
        keep(p, up(n));
      }
    } else {
      const auto it = std::next(live.begin(), long(rng() % live.size()));
      sram_free(reinterpret_cast<void *>(it->first));
      live.erase(it);
    }
    check_heap(live, bridges, 0);
  }
  for (auto &[p, l] : live) sram_free(reinterpret_cast<void *>(p));
  live.clear();
  check_heap(live, bridges, 0);
}

TEST(Sram, RandomOperationsKeepTheHeapTiled) {
  expect_child("exit 0", "", [] {
    CHECK(sram_poollink(g_region + 3, 60000) == 0);
    // Shortened by the alignment pad, not rounded further.
    const uint32_t pad = up(3) - 3;
    CHECK(sram_view().base == reinterpret_cast<uintptr_t>(g_region) + 3 + pad);
    CHECK(sram_view().total == 60000 - pad && usage().free == 60000 - pad - H);
    model_run(1, 0);
  });
  expect_child("exit 0", "", [] {
    void *addrs[4] = {g_region + 90001, g_region + 3, g_region + 30000, g_region + 60000};
    uint32_t sizes[4] = {20003, 20000, 9000, 20001};
    CHECK(sram_partial_poollink(addrs, sizes, 4) == 0);
    model_run(2, 3);
  });
}

TEST(Sram, ThreadsShareThePool) {
  expect_child("exit 0", "", [] {
    CHECK(sram_poollink(g_region, sizeof g_region) == 0);
    const uint32_t used = usage().used;
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([t, &bad] {
        std::mt19937 rng(t);
        std::vector<std::pair<uint8_t *, uint32_t>> mine;
        for (int i = 0; i < 3000; ++i) {
          if (mine.size() < 20 && rng() % 2) {
            const uint32_t n = 1 + rng() % 300;
            auto *p = static_cast<uint8_t *>(rng() % 3 ? sram_malloc(n) : sram_calloc(1, n));
            if (p == nullptr) continue;
            std::memset(p, t + 1, n);
            mine.emplace_back(p, n);
          } else if (!mine.empty()) {
            auto [p, n] = mine.back();
            mine.pop_back();
            for (uint32_t k = 0; k < n; ++k) bad += p[k] != t + 1;
            sram_free(p);
          }
        }
        for (auto [p, n] : mine) sram_free(p);
      });
    }
    for (auto &th : threads) th.join();
    CHECK(bad == 0 && usage().used == used);
  });
}

}  // namespace
