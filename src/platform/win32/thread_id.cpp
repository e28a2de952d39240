// The calling thread's id.  Windows keeps it in the thread's own block,
// so asking costs no system call and there is nothing to cache.
#include <winsock2.h>  // before windows.h, as the public headers include it
#include <windows.h>

#include "platform/platform.hpp"

namespace quorvel::platform {

uint32_t cached_thread_id() { return static_cast<uint32_t>(GetCurrentThreadId()); }

}  // namespace quorvel::platform
