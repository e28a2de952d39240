// The one seam between the SHA-224/SHA-256 exports and the compression
// function.  Every block goes through sha256_engine(), so an accelerated
// compression (one that gives identical results) can be added later by
// changing what it returns and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::detail {

// Runs `blocks` consecutive 64-byte blocks at data (any alignment) through
// the SHA-256 compression, adding into state[0..7].
using Sha256CompressFn = void (*)(uint32_t state[8], const uint8_t *data, size_t blocks);

struct Sha256Engine {
  const char *name;
  Sha256CompressFn compress;
};

extern const Sha256Engine kSha256Portable;

inline const Sha256Engine &sha256_engine() { return kSha256Portable; }

}  // namespace quorvel::detail
