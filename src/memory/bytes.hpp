// memset/memcpy that accept an empty range at a null address, which the
// containers allow for zero capacities and zero-sized keys or elements.
#pragma once

#include <cstddef>
#include <cstring>

namespace quorvel::detail {

inline void zero_bytes(void *to, size_t n) {
  if (n != 0) std::memset(to, 0, n);
}

inline void copy_bytes(void *to, const void *from, size_t n) {
  if (n != 0) std::memcpy(to, from, n);
}

}  // namespace quorvel::detail
