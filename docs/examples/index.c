/* Index: slot numbers from a FastIdx, a record table searched by key
   (MemDb) and the same records indexed by the hash of their key (RBTree). */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

typedef struct Account {
  char name[12]; /* the key field */
  int32_t balance;
} Account;

/* Runs under the record's lock: argument is the table. */
static int32_t read_balance(uint32_t slot, void *argument) {
  return ((const Account *)argument)[slot].balance;
}

#define CHECK(x) if (!(x)) { fprintf(stderr, "failed: %s\n", #x); return 1; }

int main(void) {
  FastIdxSlot slots[4];
  FastIdx ids;
  Account table[8];
  Mutex locks[8];
  FastIdxSlot db_slots[8];
  MemDb db;
  Account alice = {"alice", 30}, bob = {"bob", 12};
  char key[12] = "bob";
  RBTreePool pool;
  RBTree tree;
  RBIterator it;
  int32_t n;

  /* FastIdx hands out 0, 1, 2 ... and then the slots in release order. */
  CHECK(fastIdx_init(&ids, slots, NULL, 4) == 0);
  CHECK(fastIdx_alloc(&ids, NULL, NULL) == 0 && fastIdx_alloc(&ids, NULL, NULL) == 1);
  CHECK(fastIdx_free(&ids, 0, NULL, NULL) == 0);
  CHECK(fastIdx_alloc(&ids, NULL, NULL) == 2);
  fastIdx_deinit(&ids);

  /* MemDb: records copied into the caller's table, found by their name. */
  CHECK(memdb_init(&db, table, locks, db_slots, 8, sizeof(Account), sizeof key,
                   table[0].name) == 0);
  CHECK(memdb_insert(&db, &alice) == 0 && memdb_insert(&db, &bob) == 1);
  CHECK(memdb_exist(&db, key) == 2); /* slot 1, plus one */
  CHECK(memdb_query(&db, key, table, read_balance) == 12);
  CHECK(memdb_erase(&db, key, NULL, NULL) == 0 && memdb_exist(&db, key) == 0);
  fastIdx_deinit(&db.index);

  /* RBTree: the library allocates the four arrays of 8 records. */
  CHECK(rbtree_pool_malloc(&pool, 8, sizeof(Account)) == 0);
  CHECK(rbtree_init(&tree, pool.table, pool.locks, pool.nodes, pool.slots, 8, sizeof(Account),
                    sizeof key, ((Account *)pool.table)->name) == 0);
  CHECK(rbtree_insert(&tree, &alice) == 0 && rbtree_insert(&tree, &bob) == 1);
  CHECK(rbtree_exist(&tree, key) == 1 && rbtree_count(&tree) == 2);
  CHECK(rbiterator_malloc(&it, 8) == 0);
  CHECK(rbtree_iterator(&tree, &it, 1) == 0 && it.count == 2); /* in hash order */
  for (n = 0; n < (int32_t)it.count; ++n) CHECK(it.array[n] == 0 || it.array[n] == 1);
  CHECK(rbtree_query(&tree, key, pool.table, read_balance) == 12);
  CHECK(rbtree_erase(&tree, key, NULL, NULL) == 1 && rbtree_exist(&tree, key) == -1);
  rbiterator_free(&it);
  rbtree_deinit(&tree);
  rbtree_pool_free(&pool);
  return 0;
}
