// Feeds arbitrary text through GetIPvStyle: the answer is 0, 4 or 6, it
// depends only on the text before the first space, tab, CR or LF, and the
// texts the C library reads as plain addresses are classified as theirs.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quorvel/net.h"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 256) return 0;
  char *text = static_cast<char *>(std::malloc(size + 1));
  std::memcpy(text, data, size);
  text[size] = '\0';

  const int32_t style = GetIPvStyle(text);
  check(style == 0 || style == 4 || style == 6);
  const size_t head = std::strcspn(text, " \t\r\n");
  if (head < size) {  // cut at the first separator: the same answer
    char saved = text[head];
    text[head] = '\0';
    check(GetIPvStyle(text) == style);
    text[head] = saved;
  }

  uint8_t address[16];
  if (inet_pton(AF_INET, text, address) == 1) check(style == 4);
  if (inet_pton(AF_INET6, text, address) == 1 && std::strchr(text, '.') == nullptr)
    check(style == 6);
  if (style == 4) {
    size_t dots = 0;
    for (size_t i = 0; i < head; ++i) dots += text[i] == '.';
    check(dots == 3 && std::memchr(text, ':', head) == nullptr);
  }
  std::free(text);
  return 0;
}
