#include "common/library_log.hpp"

namespace quorvel::detail {

#define QRVL_DEFINE_LIBRARY_LOG(name, level)         \
  void name(const char *format, ...) {               \
    va_list args;                                    \
    va_start(args, format);                          \
    trace_vlog(level, kLibraryTag, 1, format, args); \
    va_end(args);                                    \
  }

QRVL_DEFINE_LIBRARY_LOG(library_error, 3)
QRVL_DEFINE_LIBRARY_LOG(library_warning, 2)
QRVL_DEFINE_LIBRARY_LOG(library_progress, 4)

}  // namespace quorvel::detail
