// Ncommand, NCommandCutter and NCommandRecover on arbitrary text, against
// the text's pieces between separators: rows hold the pieces cut to the
// row width, fields the pieces themselves (the last one the unsplit rest
// once the table is full), and recovering the separators must give the
// text back byte for byte.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quorvel/runtime.h"
#include "fuzz_check.hpp"

namespace {

std::vector<std::string> split(const std::string &text, char sep) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == sep) pieces.emplace_back();
    else pieces.back() += c;
  }
  return pieces;
}

void check_rows(const std::string &text, char sep, int32_t rows, int32_t width) {
  const std::vector<std::string> pieces = split(text, sep);
  std::vector<char> table(static_cast<size_t>(rows * width), '\x7f');
  const int32_t started = Ncommand(text.c_str(), table.data(), sep, rows, width);
  check(started == static_cast<int32_t>(pieces.size() < size_t(rows) ? pieces.size() : rows));
  for (int32_t r = 0; r < rows; ++r) {
    const char *row = &table[static_cast<size_t>(r * width)];
    const std::string expected = r < started ? pieces[r].substr(0, width - 1) : "";
    check(row[width - 1] == '\0' && expected == row);
    for (size_t i = expected.size(); i < size_t(width); ++i) check(row[i] == '\0');
  }
}

void check_fields(const std::string &text, char sep, int32_t max) {
  std::string cut = text;
  std::vector<char *> fields(static_cast<size_t>(max));
  const int32_t stored = NCommandCutter(cut.data(), sep, fields.data(), max);
  int32_t replaced = 0;
  for (size_t i = 0; i < text.size(); ++i) replaced += cut[i] == '\0';

  // Separators are replaced while the table has room, and one at the very
  // end adds no field.
  const std::vector<std::string> pieces = split(text, sep);
  const auto seps = static_cast<int32_t>(pieces.size() - 1);
  const int32_t expected_replaced = text.empty() ? 0 : (seps < max - 1 ? seps : max - 1);
  const bool all = expected_replaced == seps;
  const bool trailing = !text.empty() && text.back() == sep && all;
  check(replaced == expected_replaced);
  check(stored == (text.empty() ? 0 : 1 + expected_replaced - (trailing ? 1 : 0)));
  size_t start = 0;
  for (int32_t i = 0; i < max; ++i) {
    if (i >= stored) {
      check(fields[i][0] == '\0');
      continue;
    }
    check(fields[i] == cut.data() + start);
    const bool rest = i == stored - 1 && !all;
    check((rest ? text.substr(start) : pieces[i]) == fields[i]);
    start += pieces[i].size() + 1;
  }
  if (sep != '\0') {
    NCommandRecover(cut.data(), sep, replaced);
    check(cut == text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  const char sep = static_cast<char>(data[0]);
  const int32_t rows = data[1] % 9 + 1;
  const int32_t width = data[2] % 9 + 1;
  std::string text(reinterpret_cast<const char *>(data + 3), size - 3);
  text = text.c_str();
  check_rows(text, sep, rows, width);
  check_fields(text, sep, rows);
  return 0;
}
