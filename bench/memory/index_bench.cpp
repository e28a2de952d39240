// Red-black tree against a std::map keyed by the same 128-bit hash behind
// one std::mutex (hashing on both sides), and slot hand-out pairs.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "quorvel.h"

namespace {

constexpr uint32_t kSeed = 20170713;

struct Rec {
  uint8_t key[16];
  uint32_t payload;
};

using Hash = std::array<uint32_t, 4>;

std::vector<Rec> make_records(uint32_t n) {
  std::vector<Rec> records(n);
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t words[4] = {i * 2654435761u, i, 0x6b657973u, ~i};
    std::memcpy(records[i].key, words, sizeof words);
    records[i].payload = i;
  }
  return records;
}

// Lookup order: a fixed shuffle, so neither side walks the table in order.
std::vector<uint32_t> shuffled(uint32_t n) {
  std::vector<uint32_t> order(n);
  for (uint32_t i = 0; i < n; ++i) order[i] = i;
  uint32_t x = 12345;
  for (uint32_t i = n - 1; i > 0; --i) {
    x = x * 1103515245u + 12345u;
    std::swap(order[i], order[x % (i + 1)]);
  }
  return order;
}

// The baseline a caller would write: a table, a free counter, and a map
// from the key's hash to the slot, all behind one mutex.
struct MapIndex {
  explicit MapIndex(uint32_t n) : table(n) {}
  int32_t insert(const Rec &r) {
    uint8_t out[16];
    MurmurHash3_x86_128(r.key, 16, kSeed, out);
    Hash h;
    std::memcpy(h.data(), out, sizeof out);
    std::lock_guard<std::mutex> lock(m);
    if (next == table.size()) return -1;
    auto [it, fresh] = map.emplace(h, next);
    if (!fresh) return -1;
    table[next] = r;
    return static_cast<int32_t>(next++);
  }
  int32_t exist(const uint8_t *key) {
    uint8_t out[16];
    MurmurHash3_x86_128(key, 16, kSeed, out);
    Hash h;
    std::memcpy(h.data(), out, sizeof out);
    std::lock_guard<std::mutex> lock(m);
    auto it = map.find(h);
    if (it == map.end() || std::memcmp(table[it->second].key, key, 16) != 0) return -1;
    return static_cast<int32_t>(it->second);
  }
  std::mutex m;
  std::map<Hash, uint32_t> map;
  std::vector<Rec> table;
  uint32_t next = 0;
};

void BM_rbtree_insert(benchmark::State &state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  const auto records = make_records(n);
  RBTreePool pool{};
  rbtree_pool_malloc(&pool, n, sizeof(Rec));
  for (auto _ : state) {
    state.PauseTiming();
    RBTree t{};
    rbtree_init(&t, pool.table, pool.locks, pool.nodes, pool.slots, n, sizeof(Rec), 16,
                static_cast<Rec *>(pool.table)->key);
    state.ResumeTiming();
    for (uint32_t i = 0; i < n; ++i) benchmark::DoNotOptimize(rbtree_insert(&t, &records[i]));
    state.PauseTiming();
    rbtree_deinit(&t);
    state.ResumeTiming();
  }
  rbtree_pool_free(&pool);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}

void BM_map_insert(benchmark::State &state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  const auto records = make_records(n);
  for (auto _ : state) {
    state.PauseTiming();
    auto *index = new MapIndex(n);
    state.ResumeTiming();
    for (uint32_t i = 0; i < n; ++i) benchmark::DoNotOptimize(index->insert(records[i]));
    state.PauseTiming();
    delete index;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}

void BM_rbtree_exist(benchmark::State &state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  const auto records = make_records(n);
  const auto order = shuffled(n);
  RBTreePool pool{};
  rbtree_pool_malloc(&pool, n, sizeof(Rec));
  RBTree t{};
  rbtree_init(&t, pool.table, pool.locks, pool.nodes, pool.slots, n, sizeof(Rec), 16,
              static_cast<Rec *>(pool.table)->key);
  for (uint32_t i = 0; i < n; ++i) rbtree_insert(&t, &records[i]);
  uint32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rbtree_exist(&t, records[order[i]].key));
    if (++i == n) i = 0;
  }
  rbtree_deinit(&t);
  rbtree_pool_free(&pool);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_map_exist(benchmark::State &state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  const auto records = make_records(n);
  const auto order = shuffled(n);
  MapIndex index(n);
  for (uint32_t i = 0; i < n; ++i) index.insert(records[i]);
  uint32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(index.exist(records[order[i]].key));
    if (++i == n) i = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(BM_rbtree_insert)->Arg(1 << 10)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_map_insert)->Arg(1 << 10)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_rbtree_exist)->Arg(1 << 10)->Arg(1 << 16)->Arg(1 << 20);
BENCHMARK(BM_map_exist)->Arg(1 << 10)->Arg(1 << 16)->Arg(1 << 20);

// ---- slot hand-out ------------------------------------------------------------

constexpr uint32_t kSlots = 1024;
FastIdx g_index;
FastIdxSlot g_slots[kSlots];
Mutex g_locks[kSlots];

void BM_fastIdx_alloc_free(benchmark::State &state) {
  if (state.thread_index() == 0) fastIdx_init(&g_index, g_slots, g_locks, kSlots);
  for (auto _ : state) {
    int32_t slot = fastIdx_alloc(&g_index, nullptr, nullptr);
    benchmark::DoNotOptimize(slot);
    fastIdx_free(&g_index, static_cast<uint32_t>(slot), nullptr, nullptr);
  }
  if (state.thread_index() == 0) fastIdx_deinit(&g_index);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_fastIdx_alloc_free)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace
