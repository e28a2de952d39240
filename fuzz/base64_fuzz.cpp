// Feeds arbitrary text to FromBase64Simple and arbitrary bytes through
// ToBase64Simple and back.  Every output buffer is a heap block of exactly
// the capacity handed over, so a write past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quorvel/crypto.h"
#include "fuzz_check.hpp"

namespace {

struct Block {
  explicit Block(size_t n) : p(static_cast<uint8_t *>(std::malloc(n ? n : 1))), size(n) {}
  ~Block() { std::free(p); }
  Block(const Block &) = delete;
  Block &operator=(const Block &) = delete;
  uint8_t *p;
  size_t size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 16)) return 0;
  const auto n = static_cast<int32_t>(size);
  const char *text = reinterpret_cast<const char *>(data);

  // Decoding: the roomy call takes the unchecked loop, the exact and short
  // calls the checked one; they must agree.
  const size_t roomy_size = 3 * (size / 4) + 1;
  Block roomy(roomy_size);
  const int32_t got = FromBase64Simple(text, n, roomy.p, static_cast<int32_t>(roomy_size));
  check(got >= 0 && static_cast<size_t>(got) < roomy_size);
  if (got > 0) {
    check(roomy.p[got] == 0);
    Block exact(static_cast<size_t>(got) + 1);
    check(FromBase64Simple(text, n, exact.p, got + 1) == got);
    check(std::memcmp(exact.p, roomy.p, static_cast<size_t>(got) + 1) == 0);
    Block tight(static_cast<size_t>(got));
    check(FromBase64Simple(text, n, tight.p, got) == 0);
  }

  // Encoding round trip, then a capacity picked by the input.
  const size_t chars = 4 * ((size + 2) / 3);
  Block encoded(chars + 1);
  check(ToBase64Simple(data, n, reinterpret_cast<char *>(encoded.p),
                       static_cast<int32_t>(chars + 1)) == static_cast<int32_t>(chars));
  if (size > 0) {
    Block back(size + 1);
    check(FromBase64Simple(reinterpret_cast<const char *>(encoded.p), static_cast<int32_t>(chars),
                           back.p, n + 1) == n);
    check(std::memcmp(back.p, data, size) == 0);
    const size_t cap = data[0] % (chars + 2);
    Block partial(cap);
    const int32_t r =
        ToBase64Simple(data, n, reinterpret_cast<char *>(partial.p), static_cast<int32_t>(cap));
    check(r == (cap > chars ? static_cast<int32_t>(chars) : 0));
  }
  return 0;
}
