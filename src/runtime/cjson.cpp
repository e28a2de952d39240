// The JSON text builder: element tables written out in one bounded pass,
// or measured with no buffer at all.
#include <cstdint>
#include <cstring>

#include "common/alloc_hook.hpp"
#include "quorvel/runtime.h"

namespace {

constexpr uint8_t kAllocatedTable = 1;

bool is_known_type(uint32_t type) { return type >= CJSON_TYPE_STRING && type <= CJSON_TYPE_OBJECT; }

void set_element(CJSON_Element *element, const char *key, uint32_t type, uint32_t value,
                 const void *pointer) {
  element->key = key;
  element->type = type;
  element->value = value;
  element->pointer = pointer;
}

CJSON_Element *next_free_slot(CJSON *json) {
  if (json == nullptr || json->elements == nullptr || json->count >= json->capacity)
    return nullptr;
  return &json->elements[json->count++];
}

// Writes value in decimal, backwards from the end of an 11-byte area;
// returns where the text starts.
char *decimal(char *end, uint32_t value, bool is_signed) {
  bool negative = is_signed && static_cast<int32_t>(value) < 0;
  uint32_t magnitude = negative ? 0u - value : value;
  char *p = end;
  do {
    *--p = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0u);
  if (negative) *--p = '-';
  return p;
}

// One bounded writer over the caller's buffer; a null buffer only counts.
// The position is size - left; a piece of n characters and its terminating
// zero fit while n < left.
struct Writer {
  char *out;
  uint32_t size;
  uint32_t left;

  bool fits(size_t n) const { return n < left; }
  void put(const char *text, size_t n) {
    if (out != nullptr) {
      char *at = out + (size - left);
      std::memcpy(at, text, n);
      at[n] = '\0';
    }
    left -= static_cast<uint32_t>(n);
  }
  void put_char(char c) { put(&c, 1); }
  uint32_t written() const { return size - left; }
};

uint32_t serialise(const CJSON *json, bool as_array, char *out, uint32_t size, uint32_t depth);

// Returns false when the element did not fit and the text must end here.
bool put_element(Writer &w, const CJSON_Element &e, bool as_array, uint32_t depth) {
  if (!as_array) {
    const char *key = e.key != nullptr ? e.key : "";
    size_t n = std::strlen(key);
    if (!w.fits(n + 3)) return false;
    w.put_char('"');
    w.put(key, n);
    w.put("\":", 2);
  }
  switch (e.type) {
    case CJSON_TYPE_STRING: {
      const char *text = e.pointer != nullptr ? static_cast<const char *>(e.pointer) : "";
      size_t n = std::strlen(text);
      if (!w.fits(n + 2)) return false;
      w.put_char('"');
      w.put(text, n);
      w.put_char('"');
      return true;
    }
    case CJSON_TYPE_BOOLEAN: {
      const char *text = e.value != 0 ? "true" : "false";
      size_t n = e.value != 0 ? 4 : 5;
      if (!w.fits(n)) return false;
      w.put(text, n);
      return true;
    }
    case CJSON_TYPE_UNSIGNED:
    case CJSON_TYPE_SIGNED: {
      char digits[11];
      char *end = digits + sizeof digits;
      char *start = decimal(end, e.value, e.type == CJSON_TYPE_SIGNED);
      size_t n = static_cast<size_t>(end - start);
      if (!w.fits(n)) return false;
      w.put(start, n);
      return true;
    }
    default: {  // nested array or object: it cuts itself to what is left
      char *at = w.out != nullptr ? w.out + w.written() : nullptr;
      uint32_t n = serialise(static_cast<const CJSON *>(e.pointer), e.type == CJSON_TYPE_ARRAY, at,
                             w.left, depth + 1);
      w.left -= n;
      return true;
    }
  }
}

// A null out measures: the size passed down is what is left of the
// notional buffer, so measuring and writing cut at the same places.
uint32_t serialise(const CJSON *json, bool as_array, char *out, uint32_t size, uint32_t depth) {
  if (json == nullptr || depth > CJSON_MAX_DEPTH) return 0;
  if (size < 3 || json->elements == nullptr || json->capacity == 0) return 0;
  Writer w{out, size, size};
  w.put_char(as_array ? '[' : '{');
  bool first = true;
  for (uint32_t i = 0; i < json->capacity; ++i) {
    const CJSON_Element &e = json->elements[i];
    if (!is_known_type(e.type)) continue;
    if (!first) {
      if (w.left < 2) return w.written();
      w.put_char(',');
    }
    first = false;
    if (!put_element(w, e, as_array, depth)) return w.written();
  }
  if (w.left < 2) return w.written();
  w.put_char(as_array ? ']' : '}');
  return w.written();
}

}  // namespace

extern "C" void CJSON_Init(CJSON *json, CJSON_Element *table, uint32_t capacity) {
  if (table != nullptr) std::memset(table, 0, sizeof(CJSON_Element) * size_t{capacity});
  if (json == nullptr) return;
  *json = CJSON{};
  if (capacity != 0 && table != nullptr) {
    json->elements = table;
    json->capacity = capacity;
  }
}

extern "C" int32_t CJSON_Init2(CJSON *json, uint32_t capacity) {
  if (json == nullptr) return -1;
  if (capacity == 0) {
    *json = CJSON{};
    return 0;
  }
  // The table's byte count is a 32-bit figure on every target.
  if (uint64_t{capacity} * sizeof(CJSON_Element) > UINT32_MAX) return -1;
  auto *table = static_cast<CJSON_Element *>(
      quorvel::detail::qrvl_calloc(capacity, sizeof(CJSON_Element)));
  if (table == nullptr) return -1;
  *json = CJSON{};
  json->flags = kAllocatedTable;
  json->capacity = capacity;
  json->elements = table;
  return 0;
}

extern "C" void CJSON_Free(CJSON *json) {
  if (json == nullptr) return;
  if ((json->flags & kAllocatedTable) != 0) quorvel::detail::qrvl_free(json->elements);
  *json = CJSON{};
}

extern "C" void CJSON_SetElement1(CJSON_Element *element, const char *key, const char *text) {
  if (element != nullptr) set_element(element, key, CJSON_TYPE_STRING, 0, text);
}

extern "C" void CJSON_SetElement2(CJSON_Element *element, const char *key, const CJSON *nested,
                                  uint8_t is_array) {
  if (element != nullptr)
    set_element(element, key, is_array != 0 ? CJSON_TYPE_ARRAY : CJSON_TYPE_OBJECT, 0, nested);
}

extern "C" void CJSON_SetElement3(CJSON_Element *element, const char *key, uint32_t value,
                                  uint32_t type) {
  if (element == nullptr) return;
  bool has_value = type >= CJSON_TYPE_BOOLEAN && type <= CJSON_TYPE_SIGNED;
  set_element(element, key, type, has_value ? value : 0, nullptr);
}

extern "C" void CJSON_AddElement1(CJSON *json, const char *key, const char *text) {
  CJSON_SetElement1(next_free_slot(json), key, text);
}

extern "C" void CJSON_AddElement2(CJSON *json, const char *key, const CJSON *nested,
                                  uint8_t is_array) {
  CJSON_SetElement2(next_free_slot(json), key, nested, is_array);
}

extern "C" void CJSON_AddElement3(CJSON *json, const char *key, uint32_t value, uint32_t type) {
  CJSON_SetElement3(next_free_slot(json), key, value, type);
}

extern "C" uint32_t CJSON_CreateString(const CJSON *json, char *out, uint32_t size) {
  if (json == nullptr || json->elements == nullptr) return 0;
  bool as_array = true;
  for (uint32_t i = 0; i < json->capacity && as_array; ++i) {
    const char *key = json->elements[i].key;
    if (key != nullptr && key[0] != '\0') as_array = false;
  }
  return serialise(json, as_array, out, out != nullptr ? size : UINT32_MAX, 1);
}
