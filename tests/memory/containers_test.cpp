// STD_Map and STD_List over caller arrays.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <tuple>

#include "quorvel/memory.h"

namespace {

struct SmallMap {
  STD_Map map;
  uint8_t bitmap[3];
  uint32_t keys[16];
  uint64_t values[16];
  explicit SmallMap(uint32_t capacity) {
    STD_Map_Init(&map, bitmap, keys, values, capacity, sizeof(uint32_t), sizeof(uint64_t));
  }
  int insert(uint32_t k, uint64_t v) { return STD_Map_Insert(&map, &k, &v); }
  int find(uint32_t k, STD_MapCursor *c) { return STD_Map_Find(&map, &k, c); }
  int exist(uint32_t k) { return STD_Map_Exist(&map, &k); }
  void erase(uint32_t index) {
    STD_MapCursor c{};
    c.index = index;
    STD_Map_Erase(&map, &c);
  }
};

// Size and the two bitmap bytes of a capacity-8 map.
std::tuple<uint32_t, int, int> state(const SmallMap &m) {
  return {STD_Map_Size(&m.map), m.bitmap[0], m.bitmap[1]};
}

TEST(StdMap, SlotsBitmapAndLookups) {
  SmallMap m(8);
  EXPECT_EQ(m.insert(10, 100), 0);
  EXPECT_EQ(m.insert(11, 110), 0);
  EXPECT_EQ(m.insert(10, 999), -1);  // present: refused, nothing changes
  EXPECT_EQ(state(m), std::make_tuple(2u, 0xC0, 0));

  STD_MapCursor c;
  ASSERT_EQ(m.find(11, &c), 0);
  EXPECT_EQ(std::make_tuple(c.index, c.count, c.key),
            std::make_tuple(1u, 1u, static_cast<void *>(&m.keys[1])));
  EXPECT_EQ(*static_cast<uint64_t *>(c.value), 110u);
  EXPECT_EQ(m.find(12, &c), -1);
  EXPECT_EQ(c.key, nullptr);

  // The freed lowest slot is reused first.
  m.erase(0);
  EXPECT_EQ(m.exist(10), 0);
  EXPECT_EQ(state(m), std::make_tuple(1u, 0x40, 0));
  STD_Map_Rbegin(&m.map, &c);  // starts past the free slot 0
  EXPECT_EQ(std::make_tuple(c.index, c.count, c.end), std::make_tuple(1u, 1u, uint8_t{0}));
  EXPECT_EQ(m.insert(20, 200), 0);
  EXPECT_EQ(m.keys[0], 20u);
  // Erasing a free or out-of-range slot does nothing.
  for (uint32_t slot : {5u, 99u}) m.erase(slot);
  STD_Map_Erase(&m.map, nullptr);
  EXPECT_EQ(state(m), std::make_tuple(2u, 0xC0, 0));

  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(m.insert(30 + i, i), 0);
  EXPECT_EQ(m.insert(50, 0), -1);  // full
  EXPECT_EQ(state(m), std::make_tuple(8u, 0xFF, 0));

  // Clear wipes the bitmap but only the first key and value.
  STD_Map_Clear(&m.map);
  EXPECT_EQ(state(m), std::make_tuple(0u, 0, 0));
  EXPECT_EQ(std::make_tuple(m.keys[0], m.keys[1], m.values[0]), std::make_tuple(0u, 11u, 0u));
  for (uint32_t key : {20u, 11u, 30u, 35u}) EXPECT_EQ(m.exist(key), 0);
}

TEST(StdMap, ZeroSizesNeverMatch) {
  STD_Map map;
  uint8_t bitmap[1];
  STD_Map_Init(&map, bitmap, nullptr, nullptr, 0, 4, 4);
  uint32_t k = 1;
  EXPECT_EQ(STD_Map_Exist(&map, &k), 0);
  EXPECT_EQ(STD_Map_Insert(&map, &k, &k), -1);
  STD_Map_Clear(&map);

  uint8_t bm[2], vals[8];
  STD_Map_Init(&map, bm, nullptr, vals, 8, 0, 1);
  uint8_t v = 7;
  EXPECT_EQ(STD_Map_Insert(&map, nullptr, &v), 0);
  EXPECT_EQ(STD_Map_Insert(&map, nullptr, &v), 0);  // an empty key is never "present"
  EXPECT_EQ(STD_Map_Size(&map), 2u);
}

std::vector<uint32_t> walk(const STD_Map *map) {
  std::vector<uint32_t> slots;
  STD_MapCursor c;
  for (STD_Map_Rbegin(map, &c); !STD_Map_Rend(map, &c); STD_Map_Rnext(map, &c)) {
    slots.push_back(c.index);
    if (slots.size() > map->capacity) break;
  }
  return slots;
}

TEST(StdMap, WalkEndRules) {
  SmallMap m(16);
  EXPECT_TRUE(walk(&m.map).empty());

  // A full map ends after its last slot.
  for (uint32_t i = 0; i < 16; ++i) ASSERT_EQ(m.insert(i, i), 0);
  EXPECT_EQ(walk(&m.map).size(), 16u);
  for (uint32_t i = 1; i < 15; ++i) {
    if (i != 3) m.erase(i);
  }
  EXPECT_EQ(walk(&m.map), (std::vector<uint32_t>{0, 3, 15}));

  // Count and pointers follow the walk.
  STD_MapCursor c;
  STD_Map_Rbegin(&m.map, &c);
  STD_Map_Rnext(&m.map, &c);
  EXPECT_EQ(
      std::make_tuple(c.count, c.key, c.value),
      std::make_tuple(2u, static_cast<void *>(&m.keys[3]), static_cast<void *>(&m.values[3])));

  // Erasing the current entry lowers size, not count: the walk stops before slot 15.
  STD_Map_Erase(&m.map, &c);
  STD_Map_Rnext(&m.map, &c);
  EXPECT_EQ(STD_Map_Rend(&m.map, &c), 1);
  EXPECT_EQ(c.index, 3u);

  // Erasing past the slots or a free slot changes nothing.
  const uint32_t size = STD_Map_Size(&m.map);
  m.erase(16);
  m.erase(1);
  EXPECT_EQ(STD_Map_Size(&m.map), size);
  EXPECT_EQ(m.exist(15), 1);
  EXPECT_EQ(m.exist(1), 0);
  STD_Map_Rbegin(&m.map, nullptr);
  STD_Map_Rnext(&m.map, nullptr);
}

// An array may be NULL only where its element has no bytes.
TEST(StdMap, NullArraysOfNoBytes) {
  STD_Map map;
  uint8_t bitmap[1];
  uint32_t keys[4];
  STD_Map_Init(&map, bitmap, keys, nullptr, 4, 4, 8);
  EXPECT_EQ(map.capacity, 0u);
  STD_Map_Init(&map, bitmap, keys, nullptr, 4, 4, 0);  // a set
  ASSERT_EQ(map.capacity, 4u);
  const uint32_t k = 9;
  EXPECT_EQ(STD_Map_Insert(&map, &k, nullptr), 0);
  EXPECT_EQ(STD_Map_Exist(&map, &k), 1);
  STD_Map_Init(&map, bitmap, nullptr, keys, 4, 0, 4);
  EXPECT_EQ(map.capacity, 4u);
  EXPECT_EQ(STD_Map_Insert(&map, nullptr, nullptr), -1);  // a value of 4 bytes is needed

  STD_List list;
  STD_List_Init(&list, nullptr, 2, 0);
  ASSERT_EQ(list.capacity, 2u);
  EXPECT_EQ(STD_List_Push_Back(&list, nullptr), 0);
  EXPECT_EQ(STD_List_Push_Front(&list, nullptr), 0);
  EXPECT_EQ(STD_List_Push_Back(&list, nullptr), -1);  // full
  EXPECT_EQ(STD_List_Size(&list), 2u);
}

// Random pushes, pops and clears against std::deque and the ring places the
// elements must occupy, checking every element after each step.
TEST(StdList, MatchesDequeModel) {
  std::mt19937 rng(4242);
  for (uint32_t capacity : {1u, 2u, 3u, 7u, 64u}) {
    STD_List list;
    std::vector<uint32_t> array(capacity, 0xEEEEEEEEu);
    STD_List_Init(&list, array.data(), capacity, sizeof(uint32_t));
    EXPECT_EQ(array, std::vector<uint32_t>(capacity, 0));
    std::deque<uint32_t> model;
    uint32_t front = 0;  // place of the first element
    for (int step = 0; step < 4000; ++step) {
      const uint32_t v = rng(), op = rng() % 101;
      const bool room = model.size() < capacity;
      if (op == 100) {
        STD_List_Clear(&list);
        model.clear();
      } else if (op % 4 == 0) {
        ASSERT_EQ(STD_List_Push_Back(&list, &v), room ? 0 : -1);
        if (room) model.push_back(v);
      } else if (op % 4 == 1) {
        ASSERT_EQ(STD_List_Push_Front(&list, &v), room ? 0 : -1);
        if (room && !model.empty()) front = (front + capacity - 1) % capacity;
        if (room) model.push_front(v);
      } else if (op % 4 == 2) {
        STD_List_Pop_Front(&list);
        if (!model.empty()) {
          model.pop_front();
          front = (front + 1) % capacity;
        }
      } else {
        STD_List_Pop_Back(&list);
        if (!model.empty()) model.pop_back();
      }
      if (model.empty()) front = 0;
      const uint32_t size = uint32_t(model.size()), back = (front + size + capacity - 1) % capacity;
      ASSERT_EQ(STD_List_Size(&list), size);
      ASSERT_EQ(STD_Map_Size(reinterpret_cast<const STD_Map *>(&list)), size);  // one function
      ASSERT_EQ(std::make_pair(list.front, list.back), std::make_pair(front, size ? back : 0));
      // Element i from the front; null for an empty list.
      auto at = [&](uint32_t i) { return size ? &array[(front + i) % capacity] : nullptr; };
      ASSERT_EQ(STD_List_Front(&list), at(0));
      ASSERT_EQ(STD_List_Back(&list), at(size - 1));
      for (uint32_t i = 0; i < size; ++i) {
        ASSERT_EQ(*at(i), model[i]);
        ASSERT_EQ(STD_List_Begin(&list, i), at(i));
        ASSERT_EQ(STD_List_Reverse(&list, i), at(size - 1 - i));
      }
      const uint32_t n = rng(), k = size ? n % size : 0;
      ASSERT_EQ(STD_List_Begin(&list, n), at(k));
      ASSERT_EQ(STD_List_Reverse(&list, n), at(size - 1 - k));
    }
  }
}

// Null records and arrays get the answers of an empty record, never a crash.
TEST(Containers, NullPointersGetTheEmptyAnswers) {
  STD_Map map;
  STD_MapCursor cursor;
  int key = 1;
  STD_Map_Init(nullptr, nullptr, nullptr, nullptr, 4, 4, 4);
  STD_Map_Init(&map, nullptr, &key, &key, 4, 4, 4);  // no bitmap: no slots
  EXPECT_EQ(map.capacity, 0u);
  EXPECT_EQ(STD_Map_Insert(&map, &key, &key), -1);
  STD_Map_Clear(&map);
  for (STD_Map *m : {static_cast<STD_Map *>(nullptr), &map}) {
    EXPECT_EQ(STD_Map_Size(m), 0u);
    EXPECT_EQ(STD_Map_Exist(m, &key), 0);
    EXPECT_EQ(STD_Map_Find(m, &key, &cursor), -1);
    EXPECT_EQ(STD_Map_Insert(m, nullptr, &key), -1);
    STD_Map_Rbegin(m, &cursor);
    EXPECT_EQ(STD_Map_Rend(m, &cursor), 1);
    STD_Map_Rnext(m, &cursor);
    STD_Map_Erase(m, &cursor);
  }
  EXPECT_EQ(STD_Map_Find(&map, &key, nullptr), -1);
  EXPECT_EQ(STD_Map_Rend(&map, nullptr), 1);
  STD_Map_Clear(nullptr);

  STD_List list;
  STD_List_Init(nullptr, &key, 1, 4);
  STD_List_Init(&list, nullptr, 4, 4);
  EXPECT_EQ(list.capacity, 0u);
  for (STD_List *l : {static_cast<STD_List *>(nullptr), &list}) {
    for (auto push : {STD_List_Push_Back, STD_List_Push_Front}) EXPECT_EQ(push(l, &key), -1);
    for (auto end : {STD_List_Front, STD_List_Back}) EXPECT_EQ(end(l), nullptr);
    for (auto nth : {STD_List_Begin, STD_List_Reverse}) EXPECT_EQ(nth(l, 0), nullptr);
    for (auto drop : {STD_List_Pop_Front, STD_List_Pop_Back, STD_List_Clear}) drop(l);
  }
  STD_List_Init(&list, &key, 1, 4);
  EXPECT_EQ(STD_List_Push_Back(&list, nullptr), -1);

  Cclass pool;
  Cclass_pool(nullptr, nullptr, nullptr, 1, 4);
  Cclass_pool(&pool, nullptr, &key, 1, 4);
  EXPECT_EQ(pool.count, 0u);
  EXPECT_EQ(Cclass_new(nullptr), nullptr);
  Cclass_delete(nullptr, &key);

  void *no_region[] = {nullptr};
  uint32_t size[] = {4096};
  EXPECT_EQ(sram_partial_poollink(nullptr, size, 1), -1);
  EXPECT_EQ(sram_partial_poollink(no_region, nullptr, 1), -1);
}

}  // namespace
