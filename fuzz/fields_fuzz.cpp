// Ncommand, NCommandCutter and NCommandRecover on arbitrary text: the rows
// and fields must be the text's pieces, and recovering the separators must
// give the text back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorvel/runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  const char sep = static_cast<char>(data[0]);
  const int32_t rows = data[1] % 9 + 1;
  const int32_t width = data[2] % 9 + 1;
  std::string text(reinterpret_cast<const char *>(data + 3), size - 3);
  text = text.c_str();

  std::vector<char> table(static_cast<size_t>(rows * width));
  int32_t started = Ncommand(text.c_str(), table.data(), sep, rows, width);
  if (started < 1 || started > rows) std::abort();
  for (int32_t r = 0; r < rows; ++r)
    if (table[static_cast<size_t>(r * width + width - 1)] != '\0') std::abort();

  std::string cut = text;
  std::vector<char *> fields(static_cast<size_t>(rows));
  int32_t stored = NCommandCutter(cut.data(), sep, fields.data(), rows);
  if (stored < 0 || stored > rows || (text.empty() != (stored == 0))) std::abort();
  int32_t replaced = 0;
  for (size_t i = 0; i < text.size(); ++i) replaced += cut[i] == '\0';
  for (int32_t i = 0; i < stored; ++i) {
    if (fields[i] < cut.data() || fields[i] > cut.data() + cut.size()) std::abort();
  }
  if (sep != '\0') {
    NCommandRecover(cut.data(), sep, replaced);
    if (cut != text) std::abort();
  }
  return 0;
}
