// Splitting command-like text at a separator: into fixed rows, or in place
// with a table of pointers, and putting the separators back.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quorvel/runtime.h"

extern "C" QRVL_API int32_t Ncommand(const char *src, char *table, char sep, int32_t rows,
                                     int32_t width) {
  if (src == nullptr || table == nullptr || rows < 1 || width < 1) return 0;
  std::memset(table, 0, static_cast<size_t>(rows) * static_cast<size_t>(width));
  int32_t row = 0;
  int32_t column = 0;
  for (const char *p = src; *p != '\0'; ++p) {
    if (*p == sep) {
      if (row + 1 >= rows) break;
      ++row;
      column = 0;
      continue;
    }
    if (column < width - 1)
      table[static_cast<size_t>(row) * static_cast<size_t>(width) + column] = *p;
    if (column < width) ++column;  // further characters are dropped anyway
  }
  return row + 1;
}

extern "C" QRVL_API int32_t NCommandCutter(char *text, char sep, char **fields, int32_t max) {
  static char empty_text[1] = {'\0'};
  if (max < 1 || fields == nullptr) return 0;
  for (int32_t i = 0; i < max; ++i) fields[i] = empty_text;
  if (text == nullptr || *text == '\0') return 0;
  int32_t count = 0;
  fields[count++] = text;
  for (char *p = text; count < max && *p != '\0'; ++p) {
    if (*p != sep) continue;
    *p = '\0';
    if (p[1] == '\0') break;
    fields[count++] = p + 1;
  }
  return count;
}

extern "C" QRVL_API void NCommandRecover(char *text, char sep, int32_t n) {
  if (text == nullptr) return;
  for (char *p = text; n > 0; ++p) {
    if (*p != '\0') continue;
    *p = sep;
    --n;
  }
}
