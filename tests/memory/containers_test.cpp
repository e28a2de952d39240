// STD_Map and STD_List over caller arrays.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>

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
};

TEST(StdMap, SlotsBitmapAndLookups) {
  SmallMap m(8);
  EXPECT_EQ(m.map.capacity, 8u);
  EXPECT_EQ(m.insert(10, 100), 0);
  EXPECT_EQ(m.insert(11, 110), 0);
  EXPECT_EQ(m.bitmap[0], 0xC0);
  EXPECT_EQ(m.bitmap[1], 0x00);
  EXPECT_EQ(STD_Map_Size(&m.map), 2u);

  // A key already present is refused and nothing changes.
  EXPECT_EQ(m.insert(10, 999), -1);
  EXPECT_EQ(STD_Map_Size(&m.map), 2u);

  STD_MapCursor c;
  uint32_t k = 11;
  ASSERT_EQ(STD_Map_Find(&m.map, &k, &c), 0);
  EXPECT_EQ(c.index, 1u);
  EXPECT_EQ(c.count, 1u);
  EXPECT_EQ(c.key, &m.keys[1]);
  EXPECT_EQ(*static_cast<uint64_t *>(c.value), 110u);
  k = 10;
  ASSERT_EQ(STD_Map_Find(&m.map, &k, &c), 0);
  EXPECT_EQ(*static_cast<uint64_t *>(c.value), 100u);
  k = 12;
  EXPECT_EQ(STD_Map_Find(&m.map, &k, &c), -1);
  EXPECT_EQ(c.key, nullptr);
  EXPECT_EQ(STD_Map_Exist(&m.map, &k), 0);

  // The freed lowest slot is reused first.
  k = 10;
  ASSERT_EQ(STD_Map_Find(&m.map, &k, &c), 0);
  STD_Map_Erase(&m.map, &c);
  EXPECT_EQ(STD_Map_Exist(&m.map, &k), 0);
  EXPECT_EQ(m.bitmap[0], 0x40);
  EXPECT_EQ(m.insert(20, 200), 0);
  EXPECT_EQ(m.keys[0], 20u);
  EXPECT_EQ(m.bitmap[0], 0xC0);

  // Erasing a free or out-of-range slot does nothing.
  c.index = 5;
  STD_Map_Erase(&m.map, &c);
  c.index = 99;
  STD_Map_Erase(&m.map, &c);
  EXPECT_EQ(STD_Map_Size(&m.map), 2u);

  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(m.insert(30 + i, i), 0);
  EXPECT_EQ(m.bitmap[0], 0xFF);
  EXPECT_EQ(m.insert(50, 0), -1);  // full
  EXPECT_EQ(STD_Map_Size(&m.map), 8u);

  STD_Map_Clear(&m.map);
  EXPECT_EQ(STD_Map_Size(&m.map), 0u);
  EXPECT_EQ(m.bitmap[0], 0);
  EXPECT_EQ(m.keys[0], 0u);  // only the first key is wiped
  EXPECT_EQ(m.keys[1], 11u);
  EXPECT_EQ(m.values[0], 0u);
  for (uint32_t key : {20u, 11u, 30u, 35u}) EXPECT_EQ(STD_Map_Exist(&m.map, &key), 0);
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
  STD_MapCursor c;
  STD_Map_Rbegin(&m.map, &c);
  EXPECT_EQ(STD_Map_Rend(&m.map, &c), 1);

  for (uint32_t i = 0; i < 16; ++i) ASSERT_EQ(m.insert(i, i), 0);
  STD_MapCursor e;
  e.index = 0;
  for (uint32_t i = 0; i < 16; ++i) {
    if (i == 0 || i == 3 || i == 15) continue;
    e.index = i;
    STD_Map_Erase(&m.map, &e);
  }
  EXPECT_EQ(walk(&m.map), (std::vector<uint32_t>{0, 3, 15}));

  // Count and pointers follow the walk.
  STD_Map_Rbegin(&m.map, &c);
  STD_Map_Rnext(&m.map, &c);
  EXPECT_EQ(c.count, 2u);
  EXPECT_EQ(c.key, &m.keys[3]);
  EXPECT_EQ(c.value, &m.values[3]);

  // A full map ends after its last slot.
  SmallMap full(16);
  for (uint32_t i = 0; i < 16; ++i) ASSERT_EQ(full.insert(i, i), 0);
  EXPECT_EQ(walk(&full.map).size(), 16u);

  // Erasing the current entry lowers size but not count: the walk stops at
  // the next free slot before the entry in slot 15 is reached.
  STD_Map_Rbegin(&m.map, &c);
  STD_Map_Rnext(&m.map, &c);  // slot 3
  STD_Map_Erase(&m.map, &c);
  STD_Map_Rnext(&m.map, &c);
  EXPECT_EQ(STD_Map_Rend(&m.map, &c), 1);
  EXPECT_EQ(c.index, 3u);
}

TEST(StdList, CapacityThreeRing) {
  STD_List list;
  char array[3] = {'x', 'x', 'x'};
  STD_List_Init(&list, array, 3, 1);
  EXPECT_EQ(array[0], 0);
  EXPECT_EQ(STD_List_Front(&list), nullptr);
  EXPECT_EQ(STD_List_Back(&list), nullptr);
  EXPECT_EQ(STD_List_Begin(&list, 0), nullptr);
  EXPECT_EQ(STD_List_Reverse(&list, 0), nullptr);
  for (char ch : {'a', 'b', 'c'}) EXPECT_EQ(STD_List_Push_Back(&list, &ch), 0);
  char d = 'd';
  EXPECT_EQ(STD_List_Push_Back(&list, &d), -1);
  EXPECT_EQ(STD_List_Push_Front(&list, &d), -1);
  EXPECT_EQ(*static_cast<char *>(STD_List_Begin(&list, 4)), 'b');
  EXPECT_EQ(*static_cast<char *>(STD_List_Reverse(&list, 0)), 'c');
  EXPECT_EQ(*static_cast<char *>(STD_List_Reverse(&list, 5)), 'a');
  EXPECT_EQ(STD_List_Size(&list), 3u);
  EXPECT_EQ(STD_Map_Size(reinterpret_cast<const STD_Map *>(&list)), 3u);

  // Push front on an empty list uses place 0, then wraps to the end.
  STD_List_Clear(&list);
  EXPECT_EQ(list.front, 0u);
  EXPECT_EQ(STD_List_Push_Front(&list, &d), 0);
  EXPECT_EQ(STD_List_Front(&list), &array[0]);
  char e = 'e';
  EXPECT_EQ(STD_List_Push_Front(&list, &e), 0);
  EXPECT_EQ(STD_List_Front(&list), &array[2]);
  EXPECT_EQ(STD_List_Back(&list), &array[0]);
  STD_List_Pop_Back(&list);
  STD_List_Pop_Back(&list);
  EXPECT_EQ(STD_List_Size(&list), 0u);
  EXPECT_EQ(list.front, 0u);
  EXPECT_EQ(list.back, 0u);
  STD_List_Pop_Front(&list);  // empty: nothing happens
  EXPECT_EQ(STD_List_Size(&list), 0u);
}

// Random pushes and pops at both ends against std::deque, checking every
// element through both index functions after each step.
TEST(StdList, MatchesDequeModel) {
  std::mt19937 rng(4242);
  for (uint32_t capacity : {1u, 2u, 7u, 64u}) {
    STD_List list;
    std::vector<uint32_t> array(capacity);
    STD_List_Init(&list, array.data(), capacity, sizeof(uint32_t));
    std::deque<uint32_t> model;
    for (int step = 0; step < 4000; ++step) {
      const uint32_t v = rng();
      switch (rng() % 4) {
        case 0:
          EXPECT_EQ(STD_List_Push_Back(&list, &v), model.size() < capacity ? 0 : -1);
          if (model.size() < capacity) model.push_back(v);
          break;
        case 1:
          EXPECT_EQ(STD_List_Push_Front(&list, &v), model.size() < capacity ? 0 : -1);
          if (model.size() < capacity) model.push_front(v);
          break;
        case 2:
          STD_List_Pop_Front(&list);
          if (!model.empty()) model.pop_front();
          break;
        default:
          STD_List_Pop_Back(&list);
          if (!model.empty()) model.pop_back();
          break;
      }
      ASSERT_EQ(STD_List_Size(&list), model.size());
      if (model.empty()) {
        ASSERT_EQ(STD_List_Front(&list), nullptr);
        ASSERT_EQ(list.front, 0u);
        ASSERT_EQ(list.back, 0u);
        continue;
      }
      ASSERT_EQ(*static_cast<uint32_t *>(STD_List_Front(&list)), model.front());
      ASSERT_EQ(*static_cast<uint32_t *>(STD_List_Back(&list)), model.back());
      for (uint32_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(*static_cast<uint32_t *>(STD_List_Begin(&list, i)), model[i]);
        ASSERT_EQ(*static_cast<uint32_t *>(STD_List_Reverse(&list, i)),
                  model[model.size() - 1 - i]);
      }
      const uint32_t n = rng();
      ASSERT_EQ(*static_cast<uint32_t *>(STD_List_Begin(&list, n)), model[n % model.size()]);
    }
  }
}

}  // namespace
