// Positions of C streams, told as 64-bit numbers.
#include <cstdio>

#include "platform/platform.hpp"

namespace quorvel::platform {

// ftello rather than ftell: on a 32-bit target whose off_t is 32 bits it
// fails (EOVERFLOW) beyond 2 GiB, which is the answer wanted.
int64_t stream_position(void *file) {
  return static_cast<int64_t>(ftello(static_cast<FILE *>(file)));
}

}  // namespace quorvel::platform
