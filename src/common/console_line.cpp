#include "common/console_line.hpp"

#include <cstdio>

namespace quorvel::detail {

void print_console_line(const char *line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

}  // namespace quorvel::detail
