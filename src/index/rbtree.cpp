// Pooled red-black tree: one node per table slot, ordered by the 128-bit
// MurmurHash3 of the record's key.  Slots and record locks come from the
// embedded FastIdx; the tree lock guards only the links.  The one nesting
// is record lock -> tree lock during an insertion; nothing takes a record
// lock while it holds the tree lock.
#include <cstring>

#include "common/alloc_hook.hpp"
#include "index/fastidx.hpp"
#include "quorvel/crypto.h"
#include "quorvel/trace.h"

using namespace quorvel::detail;

namespace {

constexpr uint32_t kSeed = 20170713;
constexpr uint8_t kBlack = 1;
constexpr uint8_t kRed = 0;

constexpr int32_t kError = 3;
constexpr int32_t kWarning = 2;

constexpr const char kPoolNull[] = "[RBTree]: Pool pointer cannot be null\r\n";
constexpr const char kOutOfMemory[] = "[RBTree]: Run out of memory\r\n";
constexpr const char kKeyNull[] = "[RBTree]: Key pointer cannot be null\r\n";
constexpr const char kTableNull[] = "[RBTree]: Table pointer cannot be null\r\n";
constexpr const char kNodesNull[] = "[RBTree]: Node pool cannot be null\r\n";
constexpr const char kKeyBelowTable[] = "[RBTree]: Key pointer is smaller than base table\r\n";
constexpr const char kKeyOutsideRecord[] = "[RBTree]: Key field lies outside the record\r\n";
constexpr const char kIndexFailed[] = "[RBTree]: The allocator initial failed\r\n";
constexpr const char kInputNull[] = "[RBTree]: Input field or object cannot be null\r\n";
constexpr const char kDuplicate[] = "[RBTree]: Key is already exist\r\n";
constexpr const char kQueueFull[] = "[RBTree]: _rbtree_add_idx_to_queue() queue is full\r\n";
constexpr const char kRecordExpired[] = "[RBTree]: This data record is expired\r\n";
constexpr const char kKeyChanged[] = "[RBTree]: Key value in the database is changed already\r\n";
constexpr const char kNodeExpired[] = "[RBTree]: RBTNode is expired\r\n";
constexpr const char kNotFound[] = "[RBTree]: Cannot remove a RBTNode, because it's not found\r\n";

void report(int32_t level, const char *text) { LevelPTrace(0, level, "%s", text); }

struct Hash {
  uint32_t w[4];
};

Hash hash_key(const RBTree *t, const void *key) {
  uint8_t out[16];
  MurmurHash3_x86_128(key, static_cast<int>(t->key_length), kSeed, out);
  Hash h;
  std::memcpy(h.w, out, sizeof h.w);
  return h;
}

inline int compare(const Hash &a, const uint32_t *b) {
  for (int i = 0; i < 4; ++i)
    if (a.w[i] != b[i]) return a.w[i] < b[i] ? -1 : 1;
  return 0;
}

inline uint8_t *record_at(const RBTree *t, uint32_t slot) {
  return static_cast<uint8_t *>(t->table) + static_cast<size_t>(slot) * t->record_size;
}

inline bool is_red(const RBTNode *n) { return n && n->colour == kRed; }

RBTNode *search(const RBTree *t, const Hash &h) {
  RBTNode *n = t->root;
  while (n) {
    const int c = compare(h, n->key);
    if (c == 0) return n;
    n = c < 0 ? n->left : n->right;
  }
  return nullptr;
}

// Exact: a node's address appears among the links only while it is linked,
// and a linked node's parent field is current.
bool is_linked(const RBTree *t, const RBTNode *n) {
  if (!n->parent) return t->root == n;
  return n->parent->left == n || n->parent->right == n;
}

void rotate_left(RBTree *t, RBTNode *x) {
  RBTNode *y = x->right;
  x->right = y->left;
  if (y->left) y->left->parent = x;
  y->parent = x->parent;
  if (!x->parent)
    t->root = y;
  else if (x == x->parent->left)
    x->parent->left = y;
  else
    x->parent->right = y;
  y->left = x;
  x->parent = y;
}

void rotate_right(RBTree *t, RBTNode *x) {
  RBTNode *y = x->left;
  x->left = y->right;
  if (y->right) y->right->parent = x;
  y->parent = x->parent;
  if (!x->parent)
    t->root = y;
  else if (x == x->parent->right)
    x->parent->right = y;
  else
    x->parent->left = y;
  y->right = x;
  x->parent = y;
}

void insert_fixup(RBTree *t, RBTNode *z) {
  while (is_red(z->parent)) {
    RBTNode *p = z->parent;
    RBTNode *g = p->parent;  // a red node is never the root
    if (p == g->left) {
      RBTNode *u = g->right;
      if (is_red(u)) {
        p->colour = kBlack;
        u->colour = kBlack;
        g->colour = kRed;
        z = g;
        continue;
      }
      if (z == p->right) {
        z = p;
        rotate_left(t, z);
        p = z->parent;
      }
      p->colour = kBlack;
      g->colour = kRed;
      rotate_right(t, g);
    } else {
      RBTNode *u = g->left;
      if (is_red(u)) {
        p->colour = kBlack;
        u->colour = kBlack;
        g->colour = kRed;
        z = g;
        continue;
      }
      if (z == p->left) {
        z = p;
        rotate_right(t, z);
        p = z->parent;
      }
      p->colour = kBlack;
      g->colour = kRed;
      rotate_left(t, g);
    }
  }
  t->root->colour = kBlack;
}

void transplant(RBTree *t, RBTNode *u, RBTNode *v) {
  if (!u->parent)
    t->root = v;
  else if (u == u->parent->left)
    u->parent->left = v;
  else
    u->parent->right = v;
  if (v) v->parent = u->parent;
}

// x (possibly null) carries an extra black; xp is its parent.
void erase_fixup(RBTree *t, RBTNode *x, RBTNode *xp) {
  while (x != t->root && !is_red(x)) {
    if (x == xp->left) {
      RBTNode *w = xp->right;
      if (is_red(w)) {
        w->colour = kBlack;
        xp->colour = kRed;
        rotate_left(t, xp);
        w = xp->right;
      }
      if (!is_red(w->left) && !is_red(w->right)) {
        w->colour = kRed;
        x = xp;
        xp = x->parent;
        continue;
      }
      if (!is_red(w->right)) {
        w->left->colour = kBlack;
        w->colour = kRed;
        rotate_right(t, w);
        w = xp->right;
      }
      w->colour = xp->colour;
      xp->colour = kBlack;
      if (w->right) w->right->colour = kBlack;
      rotate_left(t, xp);
      x = t->root;
    } else {
      RBTNode *w = xp->left;
      if (is_red(w)) {
        w->colour = kBlack;
        xp->colour = kRed;
        rotate_right(t, xp);
        w = xp->left;
      }
      if (!is_red(w->left) && !is_red(w->right)) {
        w->colour = kRed;
        x = xp;
        xp = x->parent;
        continue;
      }
      if (!is_red(w->left)) {
        w->right->colour = kBlack;
        w->colour = kRed;
        rotate_left(t, w);
        w = xp->left;
      }
      w->colour = xp->colour;
      xp->colour = kBlack;
      if (w->left) w->left->colour = kBlack;
      rotate_right(t, xp);
      x = t->root;
    }
  }
  if (x) x->colour = kBlack;
}

// Nodes belong to their slots, so a node with two children is replaced by
// relinking its successor, never by copying it.  z's own fields stay.
void unlink(RBTree *t, RBTNode *z) {
  RBTNode *x;
  RBTNode *xp;
  uint8_t removed = z->colour;
  if (!z->left) {
    x = z->right;
    xp = z->parent;
    transplant(t, z, z->right);
  } else if (!z->right) {
    x = z->left;
    xp = z->parent;
    transplant(t, z, z->left);
  } else {
    RBTNode *y = z->right;
    while (y->left) y = y->left;
    removed = y->colour;
    x = y->right;
    if (y->parent == z) {
      xp = y;
    } else {
      xp = y->parent;
      transplant(t, y, y->right);
      y->right = z->right;
      y->right->parent = y;
    }
    transplant(t, z, y);
    y->left = z->left;
    y->left->parent = y;
    y->colour = z->colour;
  }
  if (removed == kBlack) erase_fixup(t, x, xp);
}

// ---- insertion -----------------------------------------------------------

struct InsertJob {
  RBTree *tree;
  const void *record;
  Hash hash;
};

// Runs under the new slot's record lock (fastIdx_alloc callback).
int32_t link_new_slot(uint32_t slot, void *argument) {
  InsertJob *job = static_cast<InsertJob *>(argument);
  RBTree *t = job->tree;
  RBTNode *node = &t->nodes[slot];
  MutexLock(&t->lock);
  // A slot released behind the tree's back (fastIdx_route_delete in a
  // callback) may still have its old node linked: take it out first.
  if (is_linked(t, node)) unlink(t, node);
  RBTNode *parent = nullptr;
  RBTNode *cur = t->root;
  int side = 0;
  while (cur) {
    side = compare(job->hash, cur->key);
    if (side == 0) {
      MutexUnlock(&t->lock);
      set_slot_state(&t->index, slot, 2);
      report(kError, kDuplicate);
      return -1;
    }
    parent = cur;
    cur = side < 0 ? cur->left : cur->right;
  }
  node->slot = slot;
  std::memcpy(node->key, job->hash.w, sizeof node->key);
  node->left = node->right = nullptr;
  node->parent = parent;
  node->colour = kRed;
  std::memcpy(record_at(t, slot), job->record, t->record_size);
  if (!parent)
    t->root = node;
  else if (side < 0)
    parent->left = node;
  else
    parent->right = node;
  insert_fixup(t, node);
  MutexUnlock(&t->lock);
  return 0;
}

// ---- lookups ----------------------------------------------------------------

struct LookupJob {
  RBTree *tree;
  const void *key;
  void *argument;
  FastIdxCallback callback;
};

int32_t find_slot(RBTree *t, const Hash &h) {
  MutexLock(&t->lock);
  const RBTNode *n = search(t, h);
  const int32_t slot = n ? static_cast<int32_t>(n->slot) : -1;
  MutexUnlock(&t->lock);
  return slot;
}

int32_t verify_record(uint32_t slot, void *argument) {
  const LookupJob *job = static_cast<const LookupJob *>(argument);
  const RBTree *t = job->tree;
  if (std::memcmp(record_at(t, slot) + t->key_offset, job->key, t->key_length) != 0) {
    report(kWarning, kKeyChanged);
    return -1;
  }
  return job->callback ? job->callback(slot, job->argument) : static_cast<int32_t>(slot);
}

int32_t node_expired(uint32_t, void *) {
  report(kWarning, kNodeExpired);
  return -1;
}

int32_t record_expired(uint32_t, void *) {
  report(kWarning, kRecordExpired);
  return -1;
}

int32_t checked_lookup(RBTree *t, const void *key, void *argument, FastIdxCallback callback) {
  const int32_t slot = find_slot(t, hash_key(t, key));
  if (slot < 0) return -1;
  LookupJob job{t, key, argument, callback};
  return route_slot(&t->index, static_cast<uint32_t>(slot), &job, verify_record, node_expired);
}

// ---- walks -------------------------------------------------------------------

struct Walk {
  RBIterator *it;
  int32_t result;
};

bool append(Walk *w, const RBTNode *n) {
  if (w->it->count >= w->it->capacity) {
    report(kError, kQueueFull);
    w->result = -1;
    return false;
  }
  w->it->array[w->it->count++] = n->slot;
  return true;
}

// A refused append ends the visit of that node; its ancestors go on.
void walk_pre(Walk *w, const RBTNode *n) {
  if (!n || !append(w, n)) return;
  walk_pre(w, n->left);
  walk_pre(w, n->right);
}
void walk_in(Walk *w, const RBTNode *n) {
  if (!n) return;
  walk_in(w, n->left);
  if (!append(w, n)) return;
  walk_in(w, n->right);
}
void walk_post(Walk *w, const RBTNode *n) {
  if (!n) return;
  walk_post(w, n->left);
  walk_post(w, n->right);
  append(w, n);
}

void *allocate_bytes(uint64_t bytes) {
  return bytes > UINT32_MAX ? nullptr : qrvl_malloc(static_cast<size_t>(bytes));
}

}  // namespace

extern "C" {

int32_t rbtree_pool_malloc(RBTreePool *pool, uint32_t count, uint32_t record_size) {
  if (!pool || count == 0 || record_size == 0) {
    report(kError, kPoolNull);
    return -1;
  }
  const uint64_t n = count;
  pool->table = allocate_bytes(n * record_size);
  pool->locks = static_cast<Mutex *>(allocate_bytes(n * sizeof(Mutex)));
  pool->nodes = static_cast<RBTNode *>(allocate_bytes(n * sizeof(RBTNode)));
  pool->slots = static_cast<FastIdxSlot *>(allocate_bytes(n * sizeof(FastIdxSlot)));
  if (pool->table && pool->locks && pool->nodes && pool->slots) return 0;
  rbtree_pool_free(pool);
  report(kError, kOutOfMemory);
  return -1;
}

int32_t rbtree_pool_free(RBTreePool *pool) {
  if (!pool) {
    report(kError, kPoolNull);
    return -1;
  }
  qrvl_free(pool->table);
  qrvl_free(pool->locks);
  qrvl_free(pool->nodes);
  qrvl_free(pool->slots);
  pool->table = nullptr;
  pool->locks = nullptr;
  pool->nodes = nullptr;
  pool->slots = nullptr;
  return 0;
}

// A key field reaching past its record is refused too: hashing or
// comparing it would read the next record, or past the table.
int32_t rbtree_init(RBTree *tree, void *table, Mutex *locks, RBTNode *nodes, FastIdxSlot *slots,
                    uint32_t count, uint32_t record_size, uint32_t key_length, const void *key) {
  if (!tree) {
    report(kError, kInputNull);
    return -1;
  }
  if (!key) {
    report(kError, kKeyNull);
    return -1;
  }
  if (!table) {
    report(kError, kTableNull);
    return -1;
  }
  if (!nodes) {
    report(kError, kNodesNull);
    return -1;
  }
  const uintptr_t base = reinterpret_cast<uintptr_t>(table);
  const uintptr_t field = reinterpret_cast<uintptr_t>(key);
  if (field < base) {
    report(kError, kKeyBelowTable);
    return -1;
  }
  const uintptr_t offset = field - base;
  if (offset > record_size || key_length > record_size - offset) {
    report(kError, kKeyOutsideRecord);
    return -1;
  }
  if (fastIdx_init(&tree->index, slots, locks, count) != 0) {
    report(kError, kIndexFailed);
    return -1;
  }
  // Every node starts unlinked, so a slot can always tell whether its node
  // is in the tree.
  for (uint32_t i = 0; i < count; ++i) {
    nodes[i].colour = kBlack;
    nodes[i].slot = i;
    std::memset(nodes[i].key, 0, sizeof nodes[i].key);
    nodes[i].left = nodes[i].right = nodes[i].parent = nullptr;
  }
  tree->root = nullptr;
  tree->nodes = nodes;
  tree->record_size = record_size;
  tree->key_length = key_length;
  tree->table = table;
  tree->key_offset = static_cast<uint32_t>(offset);
  MutexInit(&tree->lock);
  return 0;
}

void rbtree_deinit(RBTree *tree) {
  if (!tree) return;
  fastIdx_deinit(&tree->index);
  MutexFree(&tree->lock);
}

int32_t rbtree_insert(RBTree *tree, const void *record) {
  if (!tree || !record) {
    report(kError, kInputNull);
    return -1;
  }
  InsertJob job{tree, record, {}};
  job.hash = hash_key(tree, static_cast<const uint8_t *>(record) + tree->key_offset);
  const int32_t slot = fastIdx_alloc(&tree->index, &job, link_new_slot);
  return slot;
}

int32_t rbtree_exist(RBTree *tree, const void *key) {
  if (!tree || !key) return -1;
  return checked_lookup(tree, key, nullptr, nullptr);
}

int32_t rbtree_query(RBTree *tree, const void *key, void *argument, FastIdxCallback callback) {
  if (!tree || !key) return -1;
  if (!callback) return find_slot(tree, hash_key(tree, key));
  return checked_lookup(tree, key, argument, callback);
}

int32_t rbtree_erase(RBTree *tree, const void *key, void *argument, FastIdxCallback callback) {
  if (!tree || !key) return -1;
  const Hash h = hash_key(tree, key);
  MutexLock(&tree->lock);
  RBTNode *n = search(tree, h);
  if (!n) {
    MutexUnlock(&tree->lock);
    report(kWarning, kNotFound);
    return -1;
  }
  unlink(tree, n);
  const uint32_t slot = n->slot;
  MutexUnlock(&tree->lock);
  return fastIdx_free(&tree->index, slot, argument, callback);
}

// A slot in use whose node is not linked (its insertion is still under
// way) is refused like a free one, so a node is never unlinked twice.
int32_t rbtree_delete(RBTree *tree, uint32_t slot, void *argument, FastIdxCallback callback) {
  if (!tree || slot >= tree->index.count || slot_state(&tree->index, slot) == 0) return -1;
  RBTNode *n = &tree->nodes[slot];
  MutexLock(&tree->lock);
  if (!is_linked(tree, n)) {
    MutexUnlock(&tree->lock);
    return -1;
  }
  unlink(tree, n);
  MutexUnlock(&tree->lock);
  return fastIdx_free(&tree->index, slot, argument, callback);
}

int32_t rbtree_route(RBTree *tree, uint32_t slot, void *argument, FastIdxCallback callback) {
  if (!tree || slot >= tree->index.count) return 0;
  return route_slot(&tree->index, slot, argument, callback, record_expired);
}

uint32_t rbtree_count(RBTree *tree) {
  if (!tree) return 0;
  MutexLock(&tree->index.lock);
  const uint32_t used = tree->index.used;
  MutexUnlock(&tree->index.lock);
  return used;
}

uint32_t rbtree_poolsize(RBTree *tree) { return tree ? tree->index.count : 0; }

int32_t rbiterator_malloc(RBIterator *it, uint32_t capacity) {
  if (!it) return -1;
  uint32_t *array =
      static_cast<uint32_t *>(allocate_bytes(static_cast<uint64_t>(capacity) * sizeof(uint32_t)));
  if (!array) return -1;
  it->array = array;
  it->owned = 1;
  it->capacity = capacity;
  it->count = 0;
  return 0;
}

int32_t rbiterator_melink(RBIterator *it, uint32_t capacity, uint32_t *array) {
  if (!it || !array) return -1;
  it->array = array;
  it->owned = 0;
  it->capacity = capacity;
  it->count = 0;
  return 0;
}

int32_t rbiterator_free(RBIterator *it) {
  if (it && it->array && it->owned) qrvl_free(it->array);
  return 0;
}

int32_t rbtree_iterator(RBTree *tree, RBIterator *it, int32_t order) {
  if (!tree || !it || !it->array) return -1;
  it->count = 0;
  Walk w{it, 0};
  MutexLock(&tree->lock);
  switch (order) {
    case 0:
      walk_pre(&w, tree->root);
      break;
    case 1:
      walk_in(&w, tree->root);
      break;
    case 2:
      walk_post(&w, tree->root);
      break;
    default:
      break;
  }
  MutexUnlock(&tree->lock);
  // Unfilled entries read as -1, never as a slot of an older walk.
  for (uint32_t i = it->count; i < it->capacity; ++i) it->array[i] = 0xFFFFFFFFu;
  return w.result;
}

int32_t rbiterator_begin(RBIterator *it) {
  if (!it || it->count == 0) return -1;
  return static_cast<int32_t>(it->array[0]);
}

int32_t rbiterator_end(void) { return -1; }

int32_t rbiterator_next(RBIterator *it) {
  if (!it) return -1;
  if (it->count > it->capacity) it->count = it->capacity;
  if (it->count == 0) return -1;
  if (--it->count == 0) return -1;
  return static_cast<int32_t>(it->array[it->capacity - it->count]);
}

}  // extern "C"
