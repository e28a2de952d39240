// Feeds arbitrary bytes through mmData2HexString, each output buffer a heap
// block of exactly the capacity handed over.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quorvel/crypto.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

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
  std::free(text);
  return 0;
}
