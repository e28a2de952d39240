// Starting the interface queries.  This platform's kernel answers them
// from the start: there is no module to load.
#include "platform/platform.hpp"

namespace quorvel::platform {

ConfigStart config_queries_start() { return ConfigStart::kReady; }

}  // namespace quorvel::platform
