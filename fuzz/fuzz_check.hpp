// The one assertion of the fuzz targets: a failed check names its line and
// aborts, which libFuzzer reports as a finding and keeps the input of.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace {

// clang fills file and line in with the caller's.
[[maybe_unused]] void check(bool ok, const char *file = __builtin_FILE(),
                            int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s line %d\n", file, line);
  std::abort();
}

}  // namespace
