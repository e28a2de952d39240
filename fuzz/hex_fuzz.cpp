// Feeds arbitrary bytes through mmData2HexString and back, and arbitrary
// text through mmHexString2Data (compared with a digit-by-digit reading),
// each output buffer a heap block of exactly the capacity handed over.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quorvel/crypto.h"
#include "quorvel/trace.h"
#include "fuzz_check.hpp"

namespace {

void silent(const char *, int32_t) {}

// A hex digit's value; anything else counts as 0.
uint8_t nibble(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  SetDebugOutput(silent);  // one error line per illegal character otherwise
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > (1u << 15)) return 0;
  const auto n = static_cast<int32_t>(size);
  const size_t chars = 2 * size;
  char *text = static_cast<char *>(std::malloc(chars + 1));
  check(mmData2HexString(data, n, text, static_cast<int32_t>(chars + 1)) ==
        static_cast<int32_t>(chars));
  check(text[chars] == '\0');
  for (size_t i = 0; i < chars; ++i)
    check((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f'));
  check(mmData2HexString(data, n, text, static_cast<int32_t>(chars)) == 0);

  // Our own text reads back exactly.
  auto *back = static_cast<uint8_t *>(std::malloc(size));
  check(mmHexString2Data(text, static_cast<int32_t>(chars), back, n) == n);
  check(std::memcmp(back, data, size) == 0);
  std::free(back);
  std::free(text);

  // Arbitrary text: always ceil(size / 2) bytes, never a byte more.
  const size_t half = (size + 1) / 2;
  auto *out = static_cast<uint8_t *>(std::malloc(half));
  const char *raw = reinterpret_cast<const char *>(data);
  check(mmHexString2Data(raw, n, out, static_cast<int32_t>(half)) == static_cast<int32_t>(half));
  for (size_t i = 0; i < half; ++i) {
    const uint8_t low = 2 * i + 1 < size ? nibble(raw[2 * i + 1]) : 0;
    check(out[i] == (nibble(raw[2 * i]) << 4 | low));
  }
  if (half > 1) check(mmHexString2Data(raw, n, out, static_cast<int32_t>(half - 1)) == 0);
  std::free(out);
  return 0;
}
