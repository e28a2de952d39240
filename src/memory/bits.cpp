// Bit arrays read and written as single bits or as '0'/'1' text.
#include "memory/bits.hpp"
#include "quorvel/memory.h"

using quorvel::detail::bit_get;
using quorvel::detail::bit_put;

extern "C" void SetBit(uint8_t *bytes, uint32_t n, uint8_t value) {
  if (bytes == nullptr) return;
  bit_put(bytes, n, value != 0);
}

extern "C" void SetBitsByStr(uint8_t *bytes, uint32_t first, const char *text) {
  if (bytes == nullptr || text == nullptr) return;
  for (uint32_t k = 0; text[k] != '\0'; ++k) bit_put(bytes, first + k, text[k] != '0');
}

extern "C" uint8_t GetBit(const uint8_t *bytes, uint32_t n) {
  if (bytes == nullptr) return 0;
  return bit_get(bytes, n) ? 1 : 0;
}

extern "C" void GetBitsIntoStr(const uint8_t *bytes, uint32_t first, uint32_t n, char *text) {
  if (bytes == nullptr || text == nullptr) return;
  for (uint32_t k = 0; k < n; ++k) text[k] = bit_get(bytes, first + k) ? '1' : '0';
  text[n] = '\0';
}
