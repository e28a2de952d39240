// STD_Map and STD_List under random operation sequences, against a
// std::map of slot numbers to entries and a std::list of elements.  Keys,
// values and elements have random sizes (0 included) and every caller array
// is a heap block of exactly the documented size.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <list>
#include <map>
#include <string>

#include "quorvel/memory.h"
#include "fuzz_check.hpp"

namespace {

bool holds(const void *at, const std::string &bytes) {
  return bytes.empty() || std::memcmp(at, bytes.data(), bytes.size()) == 0;
}

// ---- STD_Map: the model maps slot numbers to key and value bytes.

struct MapModel {
  std::map<uint32_t, std::pair<std::string, std::string>> slots;
  uint32_t capacity;

  // The lowest slot holding key; capacity when none (a key of no bytes
  // never matches).
  uint32_t find(const std::string &key) const {
    if (key.empty()) return capacity;
    for (const auto &[slot, entry] : slots)
      if (entry.first == key) return slot;
    return capacity;
  }
  uint32_t lowest_free() const {
    uint32_t s = 0;
    for (auto it = slots.begin(); it != slots.end() && it->first == s; ++it) ++s;
    return s;
  }
};

// Keys come from a small alphabet so that repeats are common.
std::string small_bytes(FuzzedDataProvider &in, uint32_t n) {
  std::string s(n, '\0');
  for (char &c : s) c = static_cast<char>(in.ConsumeIntegralInRange<int>(0, 3));
  return s;
}

void check_walk(const STD_Map &map, const MapModel &model) {
  STD_MapCursor c;
  STD_Map_Rbegin(&map, &c);
  auto it = model.slots.begin();
  uint32_t count = 0;
  while (!STD_Map_Rend(&map, &c)) {
    check(it != model.slots.end() && c.index == it->first && c.count == ++count);
    check(holds(c.key, it->second.first) && holds(c.value, it->second.second));
    ++it;
    STD_Map_Rnext(&map, &c);
  }
  check(it == model.slots.end());
}

void map_sequence(FuzzedDataProvider &in) {
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, 40);
  const uint32_t key_size = in.ConsumeIntegralInRange<uint32_t>(0, 4);
  const uint32_t value_size = in.ConsumeIntegralInRange<uint32_t>(0, 8);
  auto *bitmap = static_cast<uint8_t *>(std::malloc(capacity / 8 + 1));
  auto *keys = static_cast<uint8_t *>(std::malloc(size_t{capacity} * key_size));
  auto *values = static_cast<uint8_t *>(std::malloc(size_t{capacity} * value_size));
  STD_Map map;
  STD_Map_Init(&map, bitmap, keys, values, capacity, key_size, value_size);
  MapModel model{{}, capacity};
  while (in.remaining_bytes() > 0 && in.ConsumeIntegralInRange<int>(0, 15) != 0) {
    const std::string key = small_bytes(in, key_size);
    const uint32_t at = model.find(key);
    check(STD_Map_Exist(&map, key.data()) == (at < capacity ? 1 : 0));
    STD_MapCursor c;
    const int32_t found = STD_Map_Find(&map, key.data(), &c);
    check(found == (at < capacity ? 0 : -1));
    if (found == 0) {
      check(c.index == at && c.count == 1 && c.key == keys + size_t{at} * key_size);
      check(c.value == values + size_t{at} * value_size);
      check(holds(c.value, model.slots[at].second));
    }
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
      case 1: {  // insert
        const std::string value = in.ConsumeBytesAsString(value_size).append(value_size, '\0');
        const bool room = at == capacity && model.slots.size() < capacity;
        check(STD_Map_Insert(&map, key.data(), value.data()) == (room ? 0 : -1));
        if (room) model.slots[model.lowest_free()] = {key, value.substr(0, value_size)};
        break;
      }
      case 2:  // erase what was found, or a cursor the map never made
        if (found != 0) c.index = in.ConsumeIntegralInRange<uint32_t>(0, capacity + 2);
        STD_Map_Erase(&map, &c);
        model.slots.erase(c.index);
        break;
      default:
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
          STD_Map_Clear(&map);
          model.slots.clear();
        }
    }
    check(STD_Map_Size(&map) == model.slots.size());
  }
  check_walk(map, model);
  std::free(bitmap);
  std::free(keys);
  std::free(values);
}

// ---- STD_List: the model is the elements front to back.

void check_list(const STD_List &list, const std::list<std::string> &model) {
  check(STD_List_Size(&list) == model.size());
  if (model.empty()) {
    check(STD_List_Front(&list) == nullptr && STD_List_Back(&list) == nullptr);
    check(STD_List_Begin(&list, 3) == nullptr && STD_List_Reverse(&list, 3) == nullptr);
    return;
  }
  const size_t n = model.size();
  check(list.back == (list.front + n - 1) % list.capacity);
  check(STD_List_Front(&list) == list.array + size_t{list.front} * list.element_size);
  check(STD_List_Back(&list) == list.array + size_t{list.back} * list.element_size);
  uint32_t i = 0;
  for (auto it = model.begin(); it != model.end(); ++it, ++i) {
    check(holds(STD_List_Begin(&list, i), *it));
    check(STD_List_Begin(&list, static_cast<uint32_t>(i + n)) == STD_List_Begin(&list, i));
  }
  i = 0;
  for (auto it = model.rbegin(); it != model.rend(); ++it, ++i) check(holds(STD_List_Reverse(&list, i), *it));
}

void list_sequence(FuzzedDataProvider &in) {
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, 24);
  const uint32_t element_size = in.ConsumeIntegralInRange<uint32_t>(0, 12);
  auto *array = static_cast<uint8_t *>(std::malloc(size_t{capacity} * element_size));
  STD_List list;
  STD_List_Init(&list, array, capacity, element_size);
  std::list<std::string> model;
  while (in.remaining_bytes() > 0 && in.ConsumeIntegralInRange<int>(0, 15) != 0) {
    const std::string e = in.ConsumeBytesAsString(element_size).append(element_size, '\0')
                              .substr(0, element_size);
    const bool room = model.size() < capacity;
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
      case 0:
        check(STD_List_Push_Front(&list, e.data()) == (room ? 0 : -1));
        if (room) model.push_front(e);
        break;
      case 1:
        check(STD_List_Push_Back(&list, e.data()) == (room ? 0 : -1));
        if (room) model.push_back(e);
        break;
      case 2:
        STD_List_Pop_Front(&list);
        if (!model.empty()) model.pop_front();
        break;
      case 3:
        STD_List_Pop_Back(&list);
        if (!model.empty()) model.pop_back();
        break;
      default:
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
          STD_List_Clear(&list);
          model.clear();
        }
    }
    check_list(list, model);
  }
  std::free(array);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0) {
    if (in.ConsumeBool()) map_sequence(in);
    else list_sequence(in);
  }
  return 0;
}
