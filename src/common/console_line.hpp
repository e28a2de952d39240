// The fixed warning lines that a few paths print on standard output instead
// of the trace path (the pool misuse warnings, the debug queue overload):
// they must reach a person even when tracing is off or the trace path is
// the thing that is overloaded.
#pragma once

namespace quorvel::detail {

// Writes line as it stands (no header, no added line end) to standard
// output and flushes it, so that it is out before a crash that may follow.
void print_console_line(const char *line);

}  // namespace quorvel::detail
