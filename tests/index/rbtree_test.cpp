// Pooled red-black tree: invariants against a std::map model, the reported
// lines, walks, allocation failures, and several threads at once.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "quorvel.h"
#include "support/alloc_fault.hpp"

namespace {

using Line = std::pair<int32_t, std::string>;
using LineList = std::vector<Line>;

std::mutex g_lines_mutex;
LineList g_lines;

void capture(const DebugInfo *info) {
  if (std::strncmp(info->message, "[RBTree]: ", 10) != 0) return;
  std::lock_guard<std::mutex> lock(g_lines_mutex);
  g_lines.emplace_back(info->level, info->message);
}

// Captures the tree's trace lines while it lives; take() returns and forgets them.
struct Lines {
  Lines() {
    take();
    AddDebugInfoRoute(capture);
  }
  ~Lines() { DelDebugInfoRoute(capture); }
  LineList take() {
    std::lock_guard<std::mutex> lock(g_lines_mutex);
    return std::exchange(g_lines, {});
  }
};

struct Rec {
  uint32_t id;
  uint8_t key[16];
  uint32_t payload;
};

Rec make(uint32_t n, uint32_t payload = 0) {
  Rec r{n, {}, payload};
  std::snprintf(reinterpret_cast<char *>(r.key), sizeof r.key, "key-%u", n);
  return r;
}

using Hash = std::array<uint32_t, 4>;  // compares word 0 first, unsigned

Hash hash_key(const uint8_t *key) {
  Hash h;
  MurmurHash3_x86_128(key, 16, 20170713, h.data());
  return h;
}

int32_t payload_of(uint32_t slot, void *table) {
  return static_cast<int32_t>(static_cast<Rec *>(table)[slot].payload);
}

struct Tree {
  explicit Tree(uint32_t count) {
    EXPECT_EQ(rbtree_pool_malloc(&pool, count, sizeof(Rec)), 0);
    table = static_cast<Rec *>(pool.table);
    EXPECT_EQ(rbtree_init(&t, table, pool.locks, pool.nodes, pool.slots, count, sizeof(Rec), 16,
                          table[0].key),
              0);
  }
  ~Tree() {
    rbtree_deinit(&t);
    rbtree_pool_free(&pool);
  }
  int32_t insert(uint32_t n, uint32_t payload = 0) {
    Rec r = make(n, payload);
    return rbtree_insert(&t, &r);
  }
  int32_t exist(uint32_t n) { return rbtree_exist(&t, make(n).key); }
  int32_t query(uint32_t n, void *arg = nullptr, FastIdxCallback cb = nullptr) {
    return rbtree_query(&t, make(n).key, arg, cb);
  }
  int32_t erase(uint32_t n, void *arg = nullptr, FastIdxCallback cb = nullptr) {
    return rbtree_erase(&t, make(n).key, arg, cb);
  }
  RBTreePool pool{};
  RBTree t{};
  Rec *table = nullptr;
};

// Black height of the subtree; why records the first broken rule.
int check_subtree(const RBTNode *n, const RBTNode *parent, std::vector<const RBTNode *> &order,
                  std::string &why) {
  if (!n) return 1;
  if (n->parent != parent) why = "parent link broken";
  if (n->colour == 0 && ((n->left && n->left->colour == 0) || (n->right && n->right->colour == 0)))
    why = "red node with a red child";
  int left = check_subtree(n->left, n, order, why);
  order.push_back(n);
  int right = check_subtree(n->right, n, order, why);
  if (left != right) why = "black heights differ";
  return left + (n->colour == 1 ? 1 : 0);
}

std::map<Hash, uint32_t> by_hash(const std::map<uint32_t, uint32_t> &slot_of) {
  std::map<Hash, uint32_t> model;
  for (auto [n, slot] : slot_of) model[hash_key(make(n).key)] = slot;
  return model;
}

// Checks the red-black rules and that the in-order sequence of nodes is the
// model's keys (key number -> slot), ascending by hash.
void expect_matches(const Tree &tree, const std::map<uint32_t, uint32_t> &slot_of) {
  const RBTNode *root = tree.t.root;
  std::string why;
  if (root && root->colour != 1) why = "root is red";
  std::vector<const RBTNode *> order;
  check_subtree(root, nullptr, order, why);
  ASSERT_EQ(why, "");
  const auto model = by_hash(slot_of);
  ASSERT_EQ(order.size(), model.size());
  auto m = model.begin();
  for (const RBTNode *n : order) {
    Hash h;
    std::memcpy(h.data(), n->key, sizeof n->key);
    ASSERT_EQ(h, m->first);
    ASSERT_EQ(n->slot, m->second);
    ASSERT_EQ(n, &tree.t.nodes[n->slot]);
    ASSERT_EQ(h, hash_key(tree.table[n->slot].key));
    ++m;
  }
  ASSERT_EQ(rbtree_count(const_cast<RBTree *>(&tree.t)), model.size());
}

TEST(RBTree, RandomRunKeepsInvariantsAndMatchesAMapModel) {
  constexpr uint32_t kSlots = 300;
  Tree tree(kSlots);
  std::map<uint32_t, uint32_t> slot_of;  // key number -> slot
  std::mt19937 rng(20170713);
  for (int step = 0; step < 6000; ++step) {
    const uint32_t n = rng() % 400, op = rng() % 10;
    const auto it = slot_of.find(n);
    if (op < 5) {
      const int32_t slot = tree.insert(n);
      const bool refused = it != slot_of.end() || slot_of.size() == kSlots;
      ASSERT_TRUE(refused ? slot == -1 : slot >= 0) << slot;
      if (!refused) slot_of[n] = static_cast<uint32_t>(slot);
    } else if (op < 8) {
      ASSERT_EQ(tree.erase(n), it == slot_of.end() ? -1 : static_cast<int32_t>(it->second));
      if (it != slot_of.end()) slot_of.erase(it);
    } else {
      const uint32_t slot = rng() % (kSlots + 2);
      const bool in_use = std::erase_if(slot_of, [&](const auto &e) { return e.second == slot; });
      ASSERT_EQ(rbtree_delete(&tree.t, slot, nullptr, nullptr), in_use ? int32_t(slot) : -1);
    }
    expect_matches(tree, slot_of);
    if (HasFatalFailure()) return;
    for (const auto &[key, slot] : slot_of) ASSERT_EQ(tree.exist(key), static_cast<int32_t>(slot));
  }
  RBIterator it{};
  ASSERT_EQ(rbiterator_malloc(&it, kSlots), 0);
  ASSERT_EQ(rbtree_iterator(&tree.t, &it, 1), 0);
  std::vector<uint32_t> slots;
  for (const auto &[hash, slot] : by_hash(slot_of)) slots.push_back(slot);
  EXPECT_EQ(std::vector<uint32_t>(it.array, it.array + it.count), slots);
  rbiterator_free(&it);
}

TEST(RBTree, InsertAndLookupResultsWithTheirLines) {
  Lines lines;
  Tree tree(2);
  EXPECT_EQ(tree.insert(1, 11), 0);
  EXPECT_EQ(tree.insert(1, 12), -1);
  EXPECT_EQ(lines.take(), (LineList{{3, "[RBTree]: Key is already exist\r\n"}}));
  EXPECT_EQ(tree.table[0].payload, 11u);
  EXPECT_EQ(tree.insert(2, 22), 1);
  EXPECT_EQ(tree.insert(3, 33), -1);  // full: no line
  EXPECT_EQ(rbtree_insert(&tree.t, nullptr), -1);
  EXPECT_EQ(rbtree_insert(nullptr, &tree.table[0]), -1);
  EXPECT_EQ(lines.take(), LineList(2, {3, "[RBTree]: Input field or object cannot be null\r\n"}));
  EXPECT_EQ(rbtree_poolsize(&tree.t), 2u);

  EXPECT_EQ(tree.query(2, tree.table, payload_of), 22);
  EXPECT_EQ(tree.query(9, tree.table, payload_of), -1);
  EXPECT_EQ(lines.take(), LineList{});

  // A key overwritten by the caller: the hash finds it, the check under the lock does not.
  tree.table[1].key[0] = 'X';
  EXPECT_EQ(tree.exist(2), -1);
  EXPECT_EQ(tree.query(2, tree.table, payload_of), -1);
  EXPECT_EQ(tree.query(2), 1);
  EXPECT_EQ(lines.take(),
            LineList(2, {2, "[RBTree]: Key value in the database is changed already\r\n"}));

  EXPECT_EQ(tree.erase(9), -1);
  EXPECT_EQ(lines.take(),
            (LineList{{2, "[RBTree]: Cannot remove a RBTNode, because it's not found\r\n"}}));
  // Erase does not compare the stored key; callbacks see the slot free.
  struct Seen {
    RBTree *t;
    std::vector<std::pair<uint32_t, uint32_t>> calls;  // slot, its state
  } seen{&tree.t, {}};
  auto note = [](uint32_t slot, void *arg) {
    auto *s = static_cast<Seen *>(arg);
    s->calls.emplace_back(slot, s->t->index.slots[slot].state);
    return 0;
  };
  EXPECT_EQ(tree.erase(2, &seen, note), 1);
  EXPECT_EQ(rbtree_delete(&tree.t, 0, &seen, note), 0);
  EXPECT_EQ(rbtree_delete(&tree.t, 0, &seen, note), -1);  // already free
  EXPECT_EQ(seen.calls, (std::vector<std::pair<uint32_t, uint32_t>>{{1, 0}, {0, 0}}));
  EXPECT_EQ(lines.take(), LineList{});
}

TEST(RBTree, RouteAndSlotsReleasedBehindTheTreesBack) {
  Lines lines;
  Tree tree(3);
  ASSERT_EQ(tree.insert(1, 10), 0);
  ASSERT_EQ(tree.insert(2, 20), 1);
  EXPECT_EQ(rbtree_route(&tree.t, 1, tree.table, payload_of), 20);
  EXPECT_EQ(rbtree_route(&tree.t, 1, nullptr, nullptr), 1);
  EXPECT_EQ(rbtree_route(&tree.t, 3, tree.table, payload_of), 0);
  EXPECT_EQ(rbtree_route(&tree.t, 2, tree.table, payload_of), -1);
  EXPECT_EQ(lines.take(), (LineList{{2, "[RBTree]: This data record is expired\r\n"}}));

  // Released inside a route callback: the node stays linked, a lookup finds it expired.
  auto release = [](uint32_t slot, void *index) {
    return fastIdx_route_delete(static_cast<FastIdx *>(index), slot);
  };
  EXPECT_EQ(rbtree_route(&tree.t, 0, &tree.t.index, release), 0);
  EXPECT_EQ(rbtree_count(&tree.t), 1u);
  EXPECT_EQ(tree.exist(1), -1);
  EXPECT_EQ(lines.take(), (LineList{{2, "[RBTree]: RBTNode is expired\r\n"}}));
  // Slot 0 comes back after slot 2; handing it out again relinks its node.
  EXPECT_EQ(tree.insert(3, 30), 2);
  EXPECT_EQ(tree.insert(1, 11), 0);
  EXPECT_EQ(tree.exist(1), 0);
  expect_matches(tree, {{1, 0}, {2, 1}, {3, 2}});
  EXPECT_EQ(lines.take(), LineList{});
}

std::tuple<void *, Mutex *, RBTNode *, FastIdxSlot *> fields(const RBTreePool &p) {
  return {p.table, p.locks, p.nodes, p.slots};
}

TEST(RBTree, InitAndPoolRefusals) {
  Lines lines;
  RBTreePool pool{};
  EXPECT_EQ(rbtree_pool_malloc(&pool, 4, 0), -1);
  EXPECT_EQ(rbtree_pool_malloc(&pool, 0, 8), -1);
  EXPECT_EQ(rbtree_pool_malloc(nullptr, 4, 8), -1);
  EXPECT_EQ(rbtree_pool_free(nullptr), -1);
  EXPECT_EQ(lines.take(), LineList(4, {3, "[RBTree]: Pool pointer cannot be null\r\n"}));
  // Byte counts beyond 32 bits fail like exhausted memory.
  EXPECT_EQ(rbtree_pool_malloc(&pool, 0x10000, 0x10000), -1);
  EXPECT_EQ(fields(pool), fields({}));
  EXPECT_EQ(lines.take(), LineList(1, {3, "[RBTree]: Run out of memory\r\n"}));

  ASSERT_EQ(rbtree_pool_malloc(&pool, 4, sizeof(Rec)), 0);
  const auto [raw, locks, nodes, slots] = fields(pool);
  Rec *table = static_cast<Rec *>(raw);
  const uint8_t *key = table[0].key;
  RBTree t{};
  EXPECT_EQ(rbtree_init(&t, table, locks, nodes, slots, 4, sizeof(Rec), 16, nullptr), -1);
  EXPECT_EQ(rbtree_init(&t, nullptr, locks, nodes, slots, 4, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, locks, nullptr, slots, 4, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table + 1, locks, nodes, slots, 3, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, locks, nodes, slots, 4, sizeof(Rec), 21, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, locks, nodes, slots, 0, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, locks, nodes, nullptr, 4, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(lines.take(), (LineList{{3, "[RBTree]: Key pointer cannot be null\r\n"},
                                    {3, "[RBTree]: Table pointer cannot be null\r\n"},
                                    {3, "[RBTree]: Node pool cannot be null\r\n"},
                                    {3, "[RBTree]: Key pointer is smaller than base table\r\n"},
                                    {3, "[RBTree]: Key field lies outside the record\r\n"},
                                    {3, "[RBTree]: The allocator initial failed\r\n"},
                                    {3, "[RBTree]: The allocator initial failed\r\n"}}));
  // Without record locks everything still works.
  ASSERT_EQ(rbtree_init(&t, table, nullptr, nodes, slots, 4, sizeof(Rec), 16, key), 0);
  Rec r = make(5);
  EXPECT_EQ(rbtree_insert(&t, &r), 0);
  EXPECT_EQ(rbtree_exist(&t, r.key), 0);
  EXPECT_EQ(rbtree_erase(&t, r.key, nullptr, nullptr), 0);
  rbtree_deinit(&t);
  EXPECT_EQ(rbtree_pool_free(&pool), 0);
  EXPECT_EQ(fields(pool), fields({}));
  EXPECT_EQ(rbtree_pool_free(&pool), 0);  // nothing left to free
}

TEST(RBTree, WalksFillTheIteratorAndStopWhenItIsFull) {
  Lines lines;
  Tree tree(16);
  for (uint32_t n = 0; n < 3; ++n) ASSERT_EQ(tree.insert(n), static_cast<int32_t>(n));
  // Three nodes form root + two children; work out which slot is where.
  const RBTNode *root = tree.t.root;
  ASSERT_TRUE(root && root->left && root->right);
  const uint32_t l = root->left->slot, m = root->slot, r = root->right->slot;
  const std::vector<uint32_t> orders[3] = {{m, l, r}, {l, m, r}, {l, r, m}};

  // Capacity 3 holds the walk; capacity 2 the first two, then the queue-full line and -1.
  const Line full{3, "[RBTree]: _rbtree_add_idx_to_queue() queue is full\r\n"};
  uint32_t storage[8];
  RBIterator it{};
  EXPECT_EQ(rbiterator_melink(&it, 3, nullptr), -1);
  for (int order = 0; order < 3; ++order) {
    ASSERT_EQ(rbiterator_melink(&it, 3, storage), 0);
    ASSERT_EQ(rbtree_iterator(&tree.t, &it, order), 0);
    std::vector<uint32_t> got;
    for (int32_t s = rbiterator_begin(&it); s != rbiterator_end(); s = rbiterator_next(&it))
      got.push_back(static_cast<uint32_t>(s));
    EXPECT_EQ(got, orders[order]);
    EXPECT_EQ(rbiterator_next(&it), -1);
    ASSERT_EQ(rbiterator_melink(&it, 2, storage), 0);
    EXPECT_EQ(rbtree_iterator(&tree.t, &it, order), -1);
    got.pop_back();
    EXPECT_EQ(std::vector<uint32_t>(storage, storage + it.count), got);
    EXPECT_EQ(lines.take(), LineList{full});
  }
  EXPECT_EQ(rbtree_iterator(&tree.t, &it, 3), 0);
  EXPECT_EQ(it.count, 0u);
  EXPECT_EQ(rbiterator_begin(&it), -1);
  EXPECT_EQ(lines.take(), LineList{});

  // Capacity 0: pre-order is refused at the root alone, post-order at every node.
  for (uint32_t n = 3; n < 12; ++n) ASSERT_GE(tree.insert(n), 0);
  ASSERT_EQ(rbiterator_melink(&it, 0, storage), 0);
  EXPECT_EQ(rbtree_iterator(&tree.t, &it, 0), -1);
  EXPECT_EQ(lines.take(), LineList{full});
  EXPECT_EQ(rbtree_iterator(&tree.t, &it, 2), -1);
  EXPECT_EQ(lines.take(), LineList(12, full));

  // next reads from the end of the array; unfilled entries give -1.
  ASSERT_EQ(rbiterator_malloc(&it, 20), 0);
  ASSERT_EQ(rbtree_iterator(&tree.t, &it, 1), 0);
  EXPECT_EQ(it.count, 12u);
  EXPECT_EQ(rbiterator_begin(&it), static_cast<int32_t>(it.array[0]));
  EXPECT_EQ(rbiterator_next(&it), static_cast<int32_t>(it.array[9]));
  it.count = 3;
  EXPECT_EQ(rbiterator_next(&it), -1);
  it.count = 25;  // more than capacity is taken as capacity
  EXPECT_EQ(rbiterator_next(&it), static_cast<int32_t>(it.array[1]));
  EXPECT_EQ(rbiterator_free(&it), 0);
  EXPECT_EQ(rbiterator_malloc(&it, 0x40000000u), -1);  // 4 GiB of entries
}

// Every entry point takes NULL for any of its pointers and answers with its
// refusal value instead of touching memory; so do slot numbers past the pool.
TEST(RBTree, NullArgumentsAndSlotsPastThePoolAreRefused) {
  Lines lines;
  Tree tree(4);
  ASSERT_EQ(tree.insert(1), 0);
  const Rec r = make(1);
  uint32_t storage[4];
  RBIterator it{};
  const std::vector<int32_t> refused = {
      rbtree_exist(nullptr, r.key),
      rbtree_exist(&tree.t, nullptr),
      rbtree_query(nullptr, r.key, nullptr, nullptr),
      rbtree_query(&tree.t, nullptr, nullptr, nullptr),
      rbtree_erase(nullptr, r.key, nullptr, nullptr),
      rbtree_erase(&tree.t, nullptr, nullptr, nullptr),
      rbtree_delete(nullptr, 0, nullptr, nullptr),
      rbtree_delete(&tree.t, 4, nullptr, nullptr),
      rbtree_delete(&tree.t, 2, nullptr, nullptr),  // free slot
      rbiterator_malloc(nullptr, 4),
      rbiterator_melink(nullptr, 4, storage),
      rbtree_iterator(nullptr, &it, 0),
      rbtree_iterator(&tree.t, nullptr, 0),
      rbtree_iterator(&tree.t, &it, 0),  // no array lent yet
      rbiterator_begin(nullptr),
      rbiterator_next(nullptr),
  };
  EXPECT_EQ(refused, std::vector<int32_t>(refused.size(), -1));
  EXPECT_EQ(rbtree_route(nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(rbtree_route(&tree.t, 4, nullptr, nullptr), 0);
  EXPECT_EQ(rbtree_count(nullptr), 0u);
  EXPECT_EQ(rbtree_poolsize(nullptr), 0u);
  EXPECT_EQ(rbtree_poolsize(&tree.t), 4u);
  EXPECT_EQ(rbiterator_free(nullptr), 0);
  EXPECT_EQ(rbiterator_free(&it), 0);  // no array
  ASSERT_EQ(rbiterator_melink(&it, 4, storage), 0);
  EXPECT_EQ(rbiterator_free(&it), 0);  // lent array stays the caller's
  EXPECT_EQ(it.array, storage);
  rbtree_deinit(nullptr);
  EXPECT_EQ(lines.take(), LineList{});
  EXPECT_EQ(tree.exist(1), 0);  // nothing above touched the tree

  // A NULL tree is reported; a key field starting past the record is too.
  RBTree t{};
  EXPECT_EQ(rbtree_init(nullptr, tree.table, nullptr, tree.pool.nodes, tree.pool.slots, 4,
                        sizeof(Rec), 0, tree.table[0].key),
            -1);
  EXPECT_EQ(rbtree_init(&t, tree.table, nullptr, tree.pool.nodes, tree.pool.slots, 4, sizeof(Rec),
                        0, reinterpret_cast<uint8_t *>(tree.table) + sizeof(Rec) + 1),
            -1);
  EXPECT_EQ(lines.take(), (LineList{{3, "[RBTree]: Input field or object cannot be null\r\n"},
                                    {3, "[RBTree]: Key field lies outside the record\r\n"}}));
}

// Each allocation of a pool and of an iterator fails in turn: a refused pool
// is all NULL and reported, a refused iterator leaves the tree as it was,
// and once memory is back the same calls succeed and the tree works.
TEST(RBTree, EachFailedAllocationIsRefusedCleanly) {
  constexpr uint32_t kRecords = 8, kKept = 5;
  Lines lines;
  qrvl_test::AllocFault fault;
  RBTreePool pool{};
  RBTree t{};
  RBIterator it{};
  bool have_pool = false, have_iterator = false;
  const auto build_tree = [&] {
    Rec *table = static_cast<Rec *>(pool.table);
    ASSERT_EQ(rbtree_init(&t, table, pool.locks, pool.nodes, pool.slots, kRecords, sizeof(Rec), 16,
                          table[0].key),
              0);
    for (uint32_t n = 0; n < kKept; ++n) {
      const Rec r = make(n, n * 10);
      ASSERT_GE(rbtree_insert(&t, &r), 0);
    }
  };
  const int rounds = fault.sweep(
      [&](int) {
        pool = {};
        it = {};
        have_pool = rbtree_pool_malloc(&pool, kRecords, sizeof(Rec)) == 0;
        if (!have_pool) {
          EXPECT_EQ(fields(pool), fields({}));
          EXPECT_EQ(lines.take(), LineList(1, {3, "[RBTree]: Run out of memory\r\n"}));
          return;
        }
        build_tree();
        have_iterator = rbiterator_malloc(&it, kRecords) == 0;
        EXPECT_EQ(have_iterator, fault.refused() == 0);
        if (!have_iterator) {
          EXPECT_EQ(it.array, nullptr);
        }
      },
      [&] {
        if (!have_pool) {
          ASSERT_EQ(rbtree_pool_malloc(&pool, kRecords, sizeof(Rec)), 0);
          build_tree();
        }
        if (!have_iterator) {
          ASSERT_EQ(rbiterator_malloc(&it, kRecords), 0);
        }
        EXPECT_EQ(rbtree_iterator(&t, &it, 1), 0);
        EXPECT_EQ(it.count, kKept);
        for (uint32_t n = 0; n < kKept; ++n) {
          const int32_t slot = rbtree_exist(&t, make(n).key);
          ASSERT_GE(slot, 0);
          EXPECT_EQ(payload_of(static_cast<uint32_t>(slot), pool.table), static_cast<int32_t>(n * 10));
        }
        EXPECT_EQ(rbiterator_free(&it), 0);
        rbtree_deinit(&t);
        EXPECT_EQ(rbtree_pool_free(&pool), 0);
        EXPECT_EQ(lines.take(), LineList{});
      });
  EXPECT_EQ(rounds, 6);  // four pool arrays, one iterator array, then none refused
}

// Threads insert, look up and erase their own keys and look up each other's.
TEST(RBTree, ThreadsNeverLoseOrDuplicateARecord) {
  constexpr uint32_t kThreads = 4, kKeys = 64, kRounds = 150;
  Tree tree(kThreads * kKeys);
  Lines lines;
  std::atomic<int> errors{0};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 rng(t);
      for (uint32_t round = 0; round < kRounds; ++round) {
        for (uint32_t k = 0; k < kKeys; ++k) errors += tree.insert(t * 1000 + k, round) < 0;
        for (uint32_t k = 0; k < kKeys; ++k) {
          const int32_t slot = tree.exist(t * 1000 + k);
          errors += slot < 0 || tree.table[slot].payload != round;
          tree.query(static_cast<uint32_t>(rng() % kThreads) * 1000 + k);
        }
        for (uint32_t k = 0; k < kKeys; ++k) {
          const uint32_t key = t * 1000 + k;
          errors += (k % 2 ? tree.erase(key)
                           : rbtree_delete(&tree.t, static_cast<uint32_t>(tree.query(key)), nullptr,
                                           nullptr)) < 0;
        }
      }
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(errors.load(), 0);
  EXPECT_EQ(tree.t.root, nullptr);
  EXPECT_EQ(rbtree_count(&tree.t), 0u);
  EXPECT_EQ(lines.take(), LineList{});
}

}  // namespace
