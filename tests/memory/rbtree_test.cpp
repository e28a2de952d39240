// Pooled red-black tree: invariants against a std::map model through a
// random run, the reported lines, lookups that check the stored key,
// walks and iterators, allocation failures, and several threads at once.
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
#include <utility>
#include <vector>

#include "quorvel.h"
#include "support/alloc_fault.hpp"

namespace {

// ---- captured trace lines ------------------------------------------------

std::mutex g_lines_mutex;
std::vector<std::pair<int32_t, std::string>> g_lines;

void capture(const DebugInfo *info) {
  std::string message = info->message;
  if (message.rfind("[RBTree]: ", 0) != 0) return;
  std::lock_guard<std::mutex> lock(g_lines_mutex);
  g_lines.emplace_back(info->level, message);
}

class Lines {
 public:
  Lines() {
    std::lock_guard<std::mutex> lock(g_lines_mutex);
    g_lines.clear();
    AddDebugInfoRoute(capture);
  }
  ~Lines() { DelDebugInfoRoute(capture); }
  // Returns and forgets what was captured so far.
  std::vector<std::pair<int32_t, std::string>> take() {
    std::lock_guard<std::mutex> lock(g_lines_mutex);
    auto out = std::move(g_lines);
    g_lines.clear();
    return out;
  }
};

using Line = std::pair<int32_t, std::string>;
using LineList = std::vector<Line>;

// ---- a tree over a pool ------------------------------------------------------

struct Rec {
  uint32_t id;
  uint8_t key[16];
  uint32_t payload;
};

using Hash = std::array<uint32_t, 4>;

Hash hash_of(const uint8_t *key, int length = 16) {
  uint8_t out[16];
  MurmurHash3_x86_128(key, length, 20170713, out);
  Hash h;
  std::memcpy(h.data(), out, sizeof out);
  return h;  // std::array compares word 0 first, unsigned
}

struct Tree {
  explicit Tree(uint32_t count, bool with_locks = true) {
    EXPECT_EQ(rbtree_pool_malloc(&pool, count, sizeof(Rec)), 0);
    table = static_cast<Rec *>(pool.table);
    EXPECT_EQ(rbtree_init(&t, pool.table, with_locks ? pool.locks : nullptr, pool.nodes, pool.slots,
                          count, sizeof(Rec), sizeof(Rec::key), table[0].key),
              0);
  }
  ~Tree() {
    rbtree_deinit(&t);
    rbtree_pool_free(&pool);
  }
  static Rec make(uint32_t n, uint32_t payload = 0) {
    Rec r{};
    r.id = n;
    std::snprintf(reinterpret_cast<char *>(r.key), sizeof r.key, "key-%u", n);
    r.payload = payload;
    return r;
  }
  int32_t insert(uint32_t n, uint32_t payload = 0) {
    Rec r = make(n, payload);
    return rbtree_insert(&t, &r);
  }
  RBTreePool pool{};
  RBTree t{};
  Rec *table = nullptr;
};

// Black height of the subtree, or -1 after recording a failure.
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

// Checks the red-black rules and that the in-order sequence is the model.
void expect_matches(const Tree &tree, const std::map<Hash, uint32_t> &model) {
  const RBTNode *root = tree.t.root;
  std::string why;
  if (root && root->colour != 1) why = "root is red";
  std::vector<const RBTNode *> order;
  check_subtree(root, nullptr, order, why);
  ASSERT_EQ(why, "");
  ASSERT_EQ(order.size(), model.size());
  auto m = model.begin();
  for (const RBTNode *n : order) {
    Hash h;
    std::memcpy(h.data(), n->key, sizeof n->key);
    ASSERT_EQ(h, m->first);
    ASSERT_EQ(n->slot, m->second);
    ASSERT_EQ(n, &tree.t.nodes[n->slot]);
    ASSERT_EQ(hash_of(tree.table[n->slot].key), h);
    ++m;
  }
  ASSERT_EQ(rbtree_count(const_cast<RBTree *>(&tree.t)), model.size());
}

TEST(RBTree, RandomRunKeepsInvariantsAndMatchesAMapModel) {
  constexpr uint32_t kSlots = 300;
  Tree tree(kSlots);
  Lines lines;
  std::map<Hash, uint32_t> model;    // hash -> slot
  std::map<uint32_t, uint32_t> key_of_slot;
  std::mt19937 rng(20170713);
  for (int step = 0; step < 6000; ++step) {
    const uint32_t n = rng() % 400;
    Rec r = Tree::make(n);
    const Hash h = hash_of(r.key);
    const unsigned op = rng() % 10;
    if (op < 5) {
      int32_t slot = rbtree_insert(&tree.t, &r);
      if (model.count(h)) {
        ASSERT_EQ(slot, -1);
      } else if (model.size() == kSlots) {
        ASSERT_EQ(slot, -1);
      } else {
        ASSERT_GE(slot, 0);
        model[h] = static_cast<uint32_t>(slot);
        key_of_slot[static_cast<uint32_t>(slot)] = n;
      }
    } else if (op < 8) {
      int32_t slot = rbtree_erase(&tree.t, r.key, nullptr, nullptr);
      auto it = model.find(h);
      if (it == model.end()) {
        ASSERT_EQ(slot, -1);
      } else {
        ASSERT_EQ(slot, static_cast<int32_t>(it->second));
        key_of_slot.erase(it->second);
        model.erase(it);
      }
    } else {
      const uint32_t slot = rng() % (kSlots + 2);
      int32_t got = rbtree_delete(&tree.t, slot, nullptr, nullptr);
      auto it = key_of_slot.find(slot);
      if (it == key_of_slot.end()) {
        ASSERT_EQ(got, -1);
      } else {
        ASSERT_EQ(got, static_cast<int32_t>(slot));
        model.erase(hash_of(Tree::make(it->second).key));
        key_of_slot.erase(it);
      }
    }
    expect_matches(tree, model);
    if (testing::Test::HasFatalFailure()) return;
    for (const auto &[slot, key] : key_of_slot) {
      Rec probe = Tree::make(key);
      ASSERT_EQ(rbtree_exist(&tree.t, probe.key), static_cast<int32_t>(slot));
    }
  }
  // Walk orders agree with the structure: in-order is ascending hash.
  RBIterator it{};
  ASSERT_EQ(rbiterator_malloc(&it, kSlots), 0);
  ASSERT_EQ(rbtree_iterator(&tree.t, &it, 1), 0);
  ASSERT_EQ(it.count, model.size());
  size_t i = 0;
  for (const auto &[hash, slot] : model) EXPECT_EQ(it.array[i++], slot);
  rbiterator_free(&it);
}

TEST(RBTree, InsertAndLookupResultsWithTheirLines) {
  Lines lines;
  Tree tree(2);
  EXPECT_EQ(tree.insert(1, 11), 0);
  EXPECT_EQ(tree.insert(1, 12), -1);
  EXPECT_EQ(lines.take(), (LineList{{3, "[RBTree]: Key is already exist\r\n"}}));
  EXPECT_EQ(rbtree_count(&tree.t), 1u);
  EXPECT_EQ(tree.table[0].payload, 11u);
  EXPECT_EQ(tree.insert(2, 22), 1);
  EXPECT_EQ(tree.insert(3, 33), -1);  // full: no line
  EXPECT_EQ(rbtree_insert(&tree.t, nullptr), -1);
  EXPECT_EQ(rbtree_insert(nullptr, &tree.table[0]), -1);
  EXPECT_EQ(lines.take(), (LineList{{3, "[RBTree]: Input field or object cannot be null\r\n"},
                                    {3, "[RBTree]: Input field or object cannot be null\r\n"}}));
  EXPECT_EQ(rbtree_poolsize(&tree.t), 2u);

  Rec k1 = Tree::make(1), k2 = Tree::make(2), k9 = Tree::make(9);
  EXPECT_EQ(rbtree_exist(&tree.t, k2.key), 1);
  EXPECT_EQ(rbtree_exist(&tree.t, k9.key), -1);
  EXPECT_EQ(rbtree_query(&tree.t, k1.key, nullptr, nullptr), 0);
  auto payload = [](uint32_t slot, void *arg) {
    return static_cast<int32_t>(static_cast<Rec *>(arg)[slot].payload);
  };
  EXPECT_EQ(rbtree_query(&tree.t, k2.key, tree.table, payload), 22);
  EXPECT_EQ(rbtree_query(&tree.t, k9.key, tree.table, payload), -1);
  EXPECT_EQ(lines.take(), LineList{});

  // The caller overwrites the key of slot 1: the hash still finds it, the
  // check under the record lock does not.
  tree.table[1].key[0] = 'X';
  EXPECT_EQ(rbtree_exist(&tree.t, k2.key), -1);
  EXPECT_EQ(rbtree_query(&tree.t, k2.key, tree.table, payload), -1);
  EXPECT_EQ(rbtree_query(&tree.t, k2.key, nullptr, nullptr), 1);
  const Line changed{2, "[RBTree]: Key value in the database is changed already\r\n"};
  EXPECT_EQ(lines.take(), (LineList{changed, changed}));

  EXPECT_EQ(rbtree_erase(&tree.t, k9.key, nullptr, nullptr), -1);
  EXPECT_EQ(lines.take(),
            (LineList{{2, "[RBTree]: Cannot remove a RBTNode, because it's not found\r\n"}}));
  // Erase does not compare the stored key.
  std::vector<std::pair<uint32_t, uint32_t>> calls;  // slot, state seen
  struct Ctx {
    RBTree *t;
    std::vector<std::pair<uint32_t, uint32_t>> *calls;
  } ctx{&tree.t, &calls};
  auto seen = [](uint32_t slot, void *arg) {
    auto *c = static_cast<Ctx *>(arg);
    c->calls->emplace_back(slot, c->t->index.slots[slot].state);
    return 0;
  };
  EXPECT_EQ(rbtree_erase(&tree.t, k2.key, &ctx, seen), 1);
  EXPECT_EQ((calls), (std::vector<std::pair<uint32_t, uint32_t>>{{1, 0}}));
  EXPECT_EQ(rbtree_exist(&tree.t, k2.key), -1);
  EXPECT_EQ(rbtree_delete(&tree.t, 0, &ctx, seen), 0);
  EXPECT_EQ(rbtree_delete(&tree.t, 0, &ctx, seen), -1);
  EXPECT_EQ(rbtree_delete(&tree.t, 2, &ctx, seen), -1);
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(tree.t.root, nullptr);
  EXPECT_EQ(rbtree_count(&tree.t), 0u);
  EXPECT_EQ(lines.take(), LineList{});
}

TEST(RBTree, RouteAndSlotsReleasedBehindTheTreesBack) {
  Lines lines;
  Tree tree(3);
  ASSERT_EQ(tree.insert(1, 10), 0);
  ASSERT_EQ(tree.insert(2, 20), 1);
  auto payload = [](uint32_t slot, void *arg) {
    return static_cast<int32_t>(static_cast<Rec *>(arg)[slot].payload);
  };
  EXPECT_EQ(rbtree_route(&tree.t, 1, tree.table, payload), 20);
  EXPECT_EQ(rbtree_route(&tree.t, 1, nullptr, nullptr), 1);
  EXPECT_EQ(rbtree_route(&tree.t, 3, tree.table, payload), 0);
  EXPECT_EQ(lines.take(), LineList{});
  EXPECT_EQ(rbtree_route(&tree.t, 2, tree.table, payload), -1);
  EXPECT_EQ(lines.take(), (LineList{{2, "[RBTree]: This data record is expired\r\n"}}));

  // Released from inside a route callback: the node stays linked and a
  // lookup reports it as expired.
  EXPECT_EQ(rbtree_route(&tree.t, 0, &tree.t.index, [](uint32_t slot, void *arg) {
    return fastIdx_route_delete(static_cast<FastIdx *>(arg), slot);
  }), 0);
  EXPECT_EQ(rbtree_count(&tree.t), 1u);
  Rec k1 = Tree::make(1);
  EXPECT_EQ(rbtree_exist(&tree.t, k1.key), -1);
  EXPECT_EQ(lines.take(), (LineList{{2, "[RBTree]: RBTNode is expired\r\n"}}));
  // Slot 0 comes back after slot 2; handing it out again relinks its node.
  EXPECT_EQ(tree.insert(3, 30), 2);
  EXPECT_EQ(tree.insert(1, 11), 0);
  EXPECT_EQ(rbtree_exist(&tree.t, k1.key), 0);
  std::map<Hash, uint32_t> model{{hash_of(Tree::make(1).key), 0},
                                 {hash_of(Tree::make(2).key), 1},
                                 {hash_of(Tree::make(3).key), 2}};
  expect_matches(tree, model);
  EXPECT_EQ(lines.take(), LineList{});
}

TEST(RBTree, InitAndPoolRefusals) {
  Lines lines;
  RBTreePool pool{};
  EXPECT_EQ(rbtree_pool_malloc(&pool, 4, 0), -1);
  EXPECT_EQ(rbtree_pool_malloc(&pool, 0, 8), -1);
  EXPECT_EQ(rbtree_pool_malloc(nullptr, 4, 8), -1);
  EXPECT_EQ(rbtree_pool_free(nullptr), -1);
  const Line pool_null{3, "[RBTree]: Pool pointer cannot be null\r\n"};
  EXPECT_EQ(lines.take(), LineList(4, pool_null));
  {
    qrvl_test::AllocFault fault;
    for (int ok = 0; ok < 4; ++ok) {
      fault.fail_after(ok);
      EXPECT_EQ(rbtree_pool_malloc(&pool, 4, 8), -1);
      EXPECT_EQ(pool.table, nullptr);
      EXPECT_EQ(pool.locks, nullptr);
      EXPECT_EQ(pool.nodes, nullptr);
      EXPECT_EQ(pool.slots, nullptr);
    }
    fault.fail_after(-1);
    EXPECT_EQ(fault.mallocs(), fault.frees());
    // Byte counts beyond 32 bits fail like exhausted memory.
    EXPECT_EQ(rbtree_pool_malloc(&pool, 0x10000, 0x10000), -1);
    EXPECT_EQ(fault.mallocs(), fault.frees());
  }
  EXPECT_EQ(lines.take(), LineList(5, Line{3, "[RBTree]: Run out of memory\r\n"}));

  ASSERT_EQ(rbtree_pool_malloc(&pool, 4, sizeof(Rec)), 0);
  Rec *table = static_cast<Rec *>(pool.table);
  RBTree t{};
  const uint8_t *key = table[0].key;
  EXPECT_EQ(rbtree_init(&t, table, pool.locks, pool.nodes, pool.slots, 4, sizeof(Rec), 16, nullptr), -1);
  EXPECT_EQ(rbtree_init(&t, nullptr, pool.locks, pool.nodes, pool.slots, 4, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, pool.locks, nullptr, pool.slots, 4, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table + 1, pool.locks, pool.nodes, pool.slots, 3, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, pool.locks, pool.nodes, pool.slots, 4, sizeof(Rec), 21, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, pool.locks, pool.nodes, pool.slots, 0, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(rbtree_init(&t, table, pool.locks, pool.nodes, nullptr, 4, sizeof(Rec), 16, key), -1);
  EXPECT_EQ(lines.take(), (LineList{{3, "[RBTree]: Key pointer cannot be null\r\n"},
                                    {3, "[RBTree]: Table pointer cannot be null\r\n"},
                                    {3, "[RBTree]: Node pool cannot be null\r\n"},
                                    {3, "[RBTree]: Key pointer is smaller than base table\r\n"},
                                    {3, "[RBTree]: Key field lies outside the record\r\n"},
                                    {3, "[RBTree]: The allocator initial failed\r\n"},
                                    {3, "[RBTree]: The allocator initial failed\r\n"}}));
  // Without record locks everything still works.
  ASSERT_EQ(rbtree_init(&t, table, nullptr, pool.nodes, pool.slots, 4, sizeof(Rec), 16, key), 0);
  EXPECT_EQ(t.key_offset, offsetof(Rec, key));
  Rec r = Tree::make(5);
  EXPECT_EQ(rbtree_insert(&t, &r), 0);
  EXPECT_EQ(rbtree_exist(&t, r.key), 0);
  EXPECT_EQ(rbtree_erase(&t, r.key, nullptr, nullptr), 0);
  rbtree_deinit(&t);
  EXPECT_EQ(rbtree_pool_free(&pool), 0);
  EXPECT_EQ(pool.table, nullptr);
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

  uint32_t storage[8];
  RBIterator it{};
  EXPECT_EQ(rbiterator_melink(&it, 3, nullptr), -1);
  ASSERT_EQ(rbiterator_melink(&it, 3, storage), 0);
  EXPECT_EQ(it.owned, 0);
  const std::vector<std::vector<uint32_t>> orders{{m, l, r}, {l, m, r}, {l, r, m}};
  for (int order = 0; order < 3; ++order) {
    ASSERT_EQ(rbtree_iterator(&tree.t, &it, order), 0);
    ASSERT_EQ(it.count, 3u);
    // A full array: begin, then next through the rest, then the end value.
    std::vector<uint32_t> got;
    for (int32_t s = rbiterator_begin(&it); s != rbiterator_end(); s = rbiterator_next(&it))
      got.push_back(static_cast<uint32_t>(s));
    EXPECT_EQ(got, orders[static_cast<size_t>(order)]);
    EXPECT_EQ(rbiterator_next(&it), -1);
  }
  EXPECT_EQ(rbtree_iterator(&tree.t, &it, 3), 0);
  EXPECT_EQ(it.count, 0u);
  EXPECT_EQ(rbiterator_begin(&it), -1);
  EXPECT_EQ(lines.take(), LineList{});

  // Capacity 2: the first two of each order, the queue-full line, -1.
  const Line full{3, "[RBTree]: _rbtree_add_idx_to_queue() queue is full\r\n"};
  ASSERT_EQ(rbiterator_melink(&it, 2, storage), 0);
  for (int order = 0; order < 3; ++order) {
    EXPECT_EQ(rbtree_iterator(&tree.t, &it, order), -1);
    EXPECT_EQ(it.count, 2u);
    EXPECT_EQ(storage[0], orders[static_cast<size_t>(order)][0]);
    EXPECT_EQ(storage[1], orders[static_cast<size_t>(order)][1]);
    EXPECT_EQ(lines.take(), LineList{full});
  }
  // Capacity 0 in a bigger tree: pre-order is refused at the root alone
  // (its subtrees are skipped); post-order is refused at every node.
  for (uint32_t n = 3; n < 12; ++n) ASSERT_GE(tree.insert(n), 0);
  ASSERT_EQ(rbiterator_melink(&it, 0, storage), 0);
  EXPECT_EQ(rbtree_iterator(&tree.t, &it, 0), -1);
  EXPECT_EQ(lines.take().size(), 1u);
  EXPECT_EQ(rbtree_iterator(&tree.t, &it, 2), -1);
  EXPECT_EQ(lines.take().size(), 12u);
  // In-order with capacity 1: the smallest, then one refusal per ancestor
  // on the left spine that is still visited.
  ASSERT_EQ(rbiterator_melink(&it, 1, storage), 0);
  EXPECT_EQ(rbtree_iterator(&tree.t, &it, 1), -1);
  const RBTNode *n = tree.t.root;
  size_t spine = 0;
  for (; n->left; n = n->left) ++spine;
  EXPECT_EQ(storage[0], n->slot);
  EXPECT_EQ(lines.take().size(), spine);

  // After a partial walk next follows the same rule, reading from the end
  // of the array, where unfilled entries give -1.
  ASSERT_EQ(rbiterator_malloc(&it, 20), 0);
  EXPECT_EQ(it.owned, 1);
  ASSERT_EQ(rbtree_iterator(&tree.t, &it, 1), 0);
  EXPECT_EQ(it.count, 12u);
  EXPECT_EQ(rbiterator_begin(&it), static_cast<int32_t>(n->slot));
  EXPECT_EQ(rbiterator_next(&it), static_cast<int32_t>(it.array[9]));
  it.count = 3;
  EXPECT_EQ(rbiterator_next(&it), -1);
  it.count = 25;  // more than capacity is taken as capacity
  EXPECT_EQ(rbiterator_next(&it), static_cast<int32_t>(it.array[1]));
  EXPECT_EQ(rbiterator_free(&it), 0);
  {
    qrvl_test::AllocFault fault;
    fault.fail_after(0);
    EXPECT_EQ(rbiterator_malloc(&it, 4), -1);
  }
  EXPECT_EQ(rbiterator_malloc(&it, 0x40000000u), -1);  // 4 GiB of entries
}

// Several threads insert, look up and erase their own keys; all of them
// also look up each other's keys, which come and go.
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
        for (uint32_t k = 0; k < kKeys; ++k) {
          Rec r = Tree::make(t * 1000 + k, round);
          if (rbtree_insert(&tree.t, &r) < 0) errors.fetch_add(1);
        }
        for (uint32_t k = 0; k < kKeys; ++k) {
          Rec r = Tree::make(t * 1000 + k);
          int32_t slot = rbtree_exist(&tree.t, r.key);
          if (slot < 0 || tree.table[slot].payload != round) errors.fetch_add(1);
          Rec other = Tree::make(static_cast<uint32_t>(rng() % kThreads) * 1000 + k);
          rbtree_query(&tree.t, other.key, nullptr, nullptr);
        }
        for (uint32_t k = 0; k < kKeys; ++k) {
          Rec r = Tree::make(t * 1000 + k);
          int32_t slot = k % 2 ? rbtree_erase(&tree.t, r.key, nullptr, nullptr)
                               : rbtree_delete(&tree.t, static_cast<uint32_t>(rbtree_query(&tree.t, r.key, nullptr, nullptr)), nullptr, nullptr);
          if (slot < 0) errors.fetch_add(1);
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
