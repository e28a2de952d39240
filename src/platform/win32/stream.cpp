// Positions of C streams, told as 64-bit numbers: the C library's ftell
// works in a 32-bit long and gives a wrapped number beyond 2 GiB.
#include <cstdio>

#include "platform/platform.hpp"

namespace quorvel::platform {

int64_t stream_position(void *file) {
  return _ftelli64(static_cast<FILE *>(file));
}

}  // namespace quorvel::platform
