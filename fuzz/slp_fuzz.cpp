// The Slp text ring under random sequences of slp_putstr and slp_readstr,
// against a model over absolute stream positions: the kept text, the
// reader's place in it and the overflow flag.  The ring is lent in a heap
// block of exactly its size, so a byte stored past it is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quorvel/memory.h"
#include "fuzz_check.hpp"

namespace {

// Positions count bytes since the ring was set up; the kept text is
// stream[oldest, write - 1) and the byte at write - 1 is its ending zero.
struct Model {
  uint64_t capacity;
  uint64_t oldest = 0, write = 1, read = 1;
  std::string stream = std::string(1, '\0');  // bytes from `oldest` on
  bool overflow = false;

  std::string kept() const { return stream.substr(0, write - 1 - oldest); }

  void drop_to(uint64_t position) {
    stream.erase(0, position - oldest);
    oldest = position;
    if (read < oldest) {
      read = oldest;
      overflow = true;
    }
  }

  void put(const std::string &text) {
    if (text.empty()) return;
    const uint64_t start = write - 1;
    if (read == write) read = start;
    stream.pop_back();
    stream += text;
    stream += '\0';
    write = start + text.size() + 1;
    if (write - oldest < capacity) return;
    if (capacity == 1) {  // only the zero fits: nothing is kept or unread
      drop_to(write);
      stream.assign(1, '\0');
      oldest = write - 1;
      return;
    }
    // The newest capacity - 1 bytes stay, then the rest of the oldest line.
    drop_to(write - (capacity - 1));
    const size_t nl = stream.find('\n');
    if (nl != std::string::npos) {
      drop_to(oldest + nl + 1);
    } else {
      drop_to(write);
      stream.assign(1, '\0');
      oldest = write - 1;
    }
  }

  std::string take(uint64_t max) {
    const uint64_t n = write - read < max ? write - read : max;
    std::string got = stream.substr(read - oldest, n);
    read += n;
    return got;
  }
};

void check_kept(const Slp &slp, const Model &model) {
  const std::string text = std::string(slp_getstr_p1(&slp)) + slp_getstr_p2(&slp);
  check(text == model.kept());
  check(slp.base[slp.capacity] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(1, 80);
  char *ring = static_cast<char *>(std::malloc(capacity + 1));
  Slp slp;
  check(slp_melink(&slp, ring, capacity + 1) == 0 && slp.capacity == capacity);
  Model model{capacity};
  while (in.remaining_bytes() > 0) {
    if (in.ConsumeIntegralInRange<int>(0, 2) != 0) {
      // Texts from a small alphabet, so that line feeds are common.
      std::string text(in.ConsumeIntegralInRange<size_t>(0, 2 * capacity + 2), 'x');
      for (char &c : text) c = "ab\n\xff"[in.ConsumeIntegralInRange<int>(0, 3)];
      slp_putstr(&slp, text.c_str());
      model.put(text);
    } else {
      const uint32_t max = in.ConsumeIntegralInRange<uint32_t>(0, capacity + 2);
      char *buffer = static_cast<char *>(std::malloc(max + 1));
      uint8_t overflow = 2;
      const int32_t n = slp_readstr(&slp, buffer, max, &overflow);
      check(overflow == (model.overflow ? 1 : 0));
      model.overflow = false;
      const std::string expected = model.take(max);
      check(n == static_cast<int32_t>(expected.size()) && buffer[n] == '\0');
      check(std::memcmp(buffer, expected.data(), expected.size()) == 0);
      std::free(buffer);
    }
    check_kept(slp, model);
  }
  check(slp_mefree(&slp) == -1);
  std::free(ring);
  return 0;
}
