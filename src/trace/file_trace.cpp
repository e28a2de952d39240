// Trace files: caller-formatted text written unchanged to one default file
// and ten numbered ones, all through the sfio table so that applications
// can redirect them.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "quorvel/runtime.h"
#include "quorvel/trace.h"

namespace {

constexpr int kSlots = 11;
constexpr const char kDefaultName[] = "KoDebugLog.txt";
constexpr const char kNumberedName[] = "KoDebugLog[%d].txt";

// Slot 0 is Filetrace's, slot i + 1 NFiletrace's index i.  Atomic only so
// that two threads racing on one slot cannot tear the handle; the files
// themselves are meant for one writer each.
std::atomic<void *> g_files[kSlots];

// Opens path into an empty slot.  Two threads opening the same slot at once
// both open the file; the loser closes its own handle and uses the winner's.
void *open_slot(int slot, const char *path) {
  void *stream = sfio_open(path, "wb");
  if (stream == nullptr) return nullptr;
  void *expected = nullptr;
  if (!g_files[slot].compare_exchange_strong(expected, stream, std::memory_order_acq_rel,
                                             std::memory_order_acquire)) {
    sfio_close(stream);
    return expected;
  }
  return stream;
}

void *slot_file(int slot) {
  return g_files[slot].load(std::memory_order_acquire);
}

bool valid_index(int32_t index) {
  return index >= -1 && index < kSlots - 1;
}

__attribute__((format(printf, 2, 0))) void write_text(void *stream, const char *format,
                                                      va_list args) {
  char text[1024] = {};
  vsnprintf(text, sizeof text, format, args);
  // A replaced table may take less than it was offered (a pipe, a full
  // device): the rest is offered again until a write takes nothing.
  const char *rest = text;
  uint32_t left = static_cast<uint32_t>(strlen(text));
  while (left > 0) {
    const uint32_t taken = sfio_write(rest, 1, left, stream);
    if (taken == 0 || taken > left) break;
    rest += taken;
    left -= taken;
  }
  sfio_flush(stream);
}

}  // namespace

extern "C" {

void FiletracePath(const char *path) {
  if (GetDebugState() == 0 || path == nullptr) return;
  if (slot_file(0) == nullptr) open_slot(0, path);
}

void Filetrace(const char *format, ...) {
  if (GetDebugState() == 0 || format == nullptr) return;
  void *stream = slot_file(0);
  if (stream == nullptr) stream = open_slot(0, kDefaultName);
  if (stream == nullptr) return;
  va_list args;
  va_start(args, format);
  write_text(stream, format, args);
  va_end(args);
}

void NFiletracePath(int32_t index, const char *path) {
  if (GetDebugState() == 0 || !valid_index(index) || path == nullptr) return;
  if (slot_file(index + 1) == nullptr) open_slot(index + 1, path);
}

void NFiletrace(int32_t index, const char *format, ...) {
  if (GetDebugState() == 0 || !valid_index(index) || format == nullptr) return;
  const int slot = index + 1;
  void *stream = slot_file(slot);
  if (stream == nullptr) {
    char name[32];
    snprintf(name, sizeof name, kNumberedName, slot);
    stream = open_slot(slot, name);
    if (stream == nullptr) {
      LevelTrace(0, "%s", name);
      return;
    }
  }
  va_list args;
  va_start(args, format);
  write_text(stream, format, args);
  va_end(args);
}

}  // extern "C"
