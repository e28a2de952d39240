// Slp: a text ring that keeps the newest whole lines.  Positions are kept
// wrapped into [base, base + capacity) at all times, so equal positions
// always compare equal.
#include <cstdint>
#include <cstdlib>

#include "quorvel/memory.h"

namespace {

char *next(const Slp *slp, char *p) {
  return p + 1 == slp->base + slp->capacity ? slp->base : p + 1;
}

char *prev(const Slp *slp, char *p) {
  return p == slp->base ? slp->base + slp->capacity - 1 : p - 1;
}

void setup(Slp *slp, char *ring, uint32_t capacity, uint8_t lent) {
  slp->base = ring;
  slp->capacity = capacity;
  slp->lent = lent;
  slp->overflow = 0;
  ring[0] = '\0';
  ring[capacity] = '\0';
  slp->oldest = ring;
  slp->write = next(slp, ring);
  slp->read = slp->write;
}

// Drops the oldest byte; unread text dropped drags the reader along.
void drop_oldest(Slp *slp) {
  if (slp->oldest == slp->read) {
    slp->read = next(slp, slp->read);
    slp->overflow = 1;
  }
  slp->oldest = next(slp, slp->oldest);
}

}  // namespace

extern "C" int32_t slp_malloc(Slp *slp, uint32_t count, uint32_t size) {
  const uint64_t capacity = uint64_t{count} * size;
  if (capacity == 0 || capacity > UINT32_MAX) return -1;
  char *ring = static_cast<char *>(std::malloc(static_cast<size_t>(capacity) + 1));
  if (ring == nullptr) return -1;
  setup(slp, ring, static_cast<uint32_t>(capacity), 0);
  return 0;
}

extern "C" int32_t slp_melink(Slp *slp, void *buffer, uint32_t size) {
  if (buffer == nullptr || size < 2) return -1;
  setup(slp, static_cast<char *>(buffer), size - 1, 1);
  return 0;
}

extern "C" int32_t slp_mefree(Slp *slp) {
  if (slp->lent) return -1;
  std::free(slp->base);
  return 0;
}

extern "C" void slp_putstr(Slp *slp, const char *text) {
  if (text == nullptr || text[0] == '\0') return;
  // The new text starts on the previous text's ending zero byte.  A reader
  // that already took that byte is moved back onto it, or it would never
  // see the first byte of the new text.
  char *w = prev(slp, slp->write);
  if (slp->read == slp->write) slp->read = w;
  bool ran_full = false;
  const char *t = text;
  for (;;) {
    const char c = *t;
    *w = c;
    w = next(slp, w);
    if (w == slp->oldest) {
      ran_full = true;
      drop_oldest(slp);
    }
    if (c == '\0') break;
    ++t;
  }
  slp->write = w;
  if (!ran_full) return;
  // Whatever is left of the oldest line goes too, so the kept text starts
  // at a whole line; with no line feed left the kept text is empty.
  if (slp->oldest != w) {
    while (slp->oldest != w) {
      const char c = *slp->oldest;
      drop_oldest(slp);
      if (c == '\n') return;
    }
  }
  slp->oldest = prev(slp, w);
}

extern "C" int32_t slp_readstr(Slp *slp, char *buffer, uint32_t max, uint8_t *overflow) {
  if (buffer == nullptr) return -1;
  if (overflow != nullptr) *overflow = slp->overflow;
  slp->overflow = 0;
  buffer[0] = '\0';
  if (max > INT32_MAX) max = INT32_MAX;
  uint32_t copied = 0;
  while (copied < max && slp->read != slp->write) {
    buffer[copied++] = *slp->read;
    buffer[copied] = '\0';
    slp->read = next(slp, slp->read);
  }
  return static_cast<int32_t>(copied);
}

#if UINTPTR_MAX != 0xFFFFFFFFu
// Where pointers are wider than the size field of STD_Map and STD_List this
// cannot share their accessor (it does on 32-bit targets, see std_list.cpp).
extern "C" const char *slp_getstr_p1(const Slp *slp) {
  return slp->oldest;
}
#endif

extern "C" const char *slp_getstr_p2(const Slp *slp) {
  return prev(slp, slp->write) < slp->oldest ? slp->base : "";
}
