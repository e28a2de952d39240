// The network start-up that runs at the head of every interface query and
// of the resolver start-up.  Once it has fully succeeded it is never run
// again; after a failure the next call tries every step again.
#pragma once

#include <cstdint>

namespace quorvel::detail {

// 0 when the network is ready; otherwise prints the failed step's line on
// standard output and returns -11 (socket layer), -12 (interface-query
// module), -13 or -14 (missing entries of that module).
int32_t network_startup();

}  // namespace quorvel::detail
