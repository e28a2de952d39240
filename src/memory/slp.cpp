// Slp: a text ring that keeps the newest whole lines.  Positions are kept
// wrapped into [base, base + capacity) at all times, so equal positions
// always compare equal.
#include <cstdint>
#include <cstring>

#include "common/alloc_hook.hpp"
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

// Cyclic distance from one ring position forward to another, below capacity.
uint32_t distance(const Slp *slp, const char *from, const char *to) {
  return static_cast<uint32_t>(to >= from ? to - from : slp->capacity - (from - to));
}

char *forward(const Slp *slp, char *p, uint64_t steps) {
  return slp->base + (static_cast<uint64_t>(p - slp->base) + steps) % slp->capacity;
}

// Drops the oldest steps bytes, one line feed search or one store run at a
// time.  A reader standing on a dropped byte lost unread text: it moves on
// with the oldest byte and the overflow flag goes up.
void drop_oldest(Slp *slp, uint64_t steps) {
  const bool dragged = distance(slp, slp->oldest, slp->read) < steps;
  slp->oldest = forward(slp, slp->oldest, steps);
  if (dragged) {
    slp->read = slp->oldest;
    slp->overflow = 1;
  }
}

// Copies count bytes (at most capacity) into the ring from at onwards.
void store(Slp *slp, char *at, const char *from, uint32_t count) {
  const auto room = static_cast<uint32_t>(slp->base + slp->capacity - at);
  const uint32_t first = count < room ? count : room;
  std::memcpy(at, from, first);
  std::memcpy(slp->base, from + first, count - first);
}

}  // namespace

extern "C" int32_t slp_malloc(Slp *slp, uint32_t count, uint32_t size) {
  const uint64_t capacity = uint64_t{count} * size;
  if (capacity == 0 || capacity > UINT32_MAX) return -1;
  char *ring = static_cast<char *>(quorvel::detail::qrvl_malloc(static_cast<size_t>(capacity) + 1));
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
  quorvel::detail::qrvl_free(slp->base);
  return 0;
}

extern "C" void slp_putstr(Slp *slp, const char *text) {
  if (text == nullptr || text[0] == '\0') return;
  // The new text starts on the previous text's ending zero byte.  A reader
  // that already took that byte is moved back onto it, or it would never
  // see the first byte of the new text.
  char *start = prev(slp, slp->write);
  if (slp->read == slp->write) slp->read = start;
  const uint64_t count = std::strlen(text) + uint64_t{1};  // with the ending zero
  // Bytes that a longer text would overwrite again are never stored.
  const uint64_t skipped = count > slp->capacity ? count - slp->capacity : 0;
  store(slp, forward(slp, start, skipped), text + skipped, static_cast<uint32_t>(count - skipped));
  slp->write = forward(slp, start, count);
  // Storing runs full on reaching the oldest byte; from then on every byte
  // stored pushes the oldest one out.
  uint32_t room = distance(slp, start, slp->oldest);
  if (room == 0) room = slp->capacity;
  if (count < room) return;
  drop_oldest(slp, count - room + 1);
  char *const write = slp->write;
  if (slp->oldest == write) {
    slp->oldest = prev(slp, write);
    return;
  }
  // Whatever is left of the oldest line goes too, so the kept text starts
  // at a whole line; with no line feed left the kept text is empty.
  const uint32_t span = distance(slp, slp->oldest, write);
  const auto to_end = static_cast<uint32_t>(slp->base + slp->capacity - slp->oldest);
  const uint32_t first = span < to_end ? span : to_end;
  const void *nl = std::memchr(slp->oldest, '\n', first);
  uint64_t steps = 0;
  if (nl != nullptr) {
    steps = static_cast<uint64_t>(static_cast<const char *>(nl) - slp->oldest) + 1;
  } else if ((nl = std::memchr(slp->base, '\n', span - first)) != nullptr) {
    steps = first + static_cast<uint64_t>(static_cast<const char *>(nl) - slp->base) + 1;
  }
  if (steps != 0) {
    drop_oldest(slp, steps);
    return;
  }
  drop_oldest(slp, span);
  slp->oldest = prev(slp, write);
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

extern "C" const char *slp_getstr_p2(const Slp *slp) {
  return prev(slp, slp->write) < slp->oldest ? slp->base : "";
}
