// The sram pool's block header and a read-only view of its state, for the
// library's own checks and tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::detail {

// In front of every block's payload.  Bridges between regions may sit at
// any byte address, so headers are always read and written by copying.
struct SramHeader {
  uint32_t magic;
  uint32_t size;   // payload bytes behind this header
  uintptr_t prev;  // header of the block physically in front; 0 for the first
};

inline constexpr uint32_t kSramHeaderSize = sizeof(SramHeader);
inline constexpr uint32_t kSramGranule = sizeof(void *);
inline constexpr uint32_t kSramUsedMagic = 0xFF52414Du;
inline constexpr uint32_t kSramFreeMagic = 0x0000414Du;

struct SramView {
  bool linked;
  uintptr_t base;
  uint32_t total;
  uint32_t used;
};

// A snapshot taken under the pool lock (without it before the link).
SramView sram_view();

}  // namespace quorvel::detail
