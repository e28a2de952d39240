// printf-style formatting of trace messages with a fast path.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace quorvel::detail {

// format_message is vsnprintf(buffer, size, format, args), with the same
// output and result.  Integer, character and string conversions (flags,
// width, precision and length modifiers included) are done here, which is
// several times faster than the C library's general engine; a format with
// anything else (floating point, %p, %n, positional or wide arguments...)
// is handed to vsnprintf as a whole.  size must be at least 1.
int format_message(char *buffer, size_t size, const char *format, va_list args)
    __attribute__((format(printf, 3, 0)));

}  // namespace quorvel::detail
