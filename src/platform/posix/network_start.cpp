// The network start-up.  Sockets and the interface queries of this
// platform need no preparation: the kernel answers them from the start.
#include "platform/platform.hpp"

namespace quorvel::platform {

NetworkStart network_start() { return NetworkStart::kReady; }

}  // namespace quorvel::platform
