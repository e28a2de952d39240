/* Compiled as strict C99 with -pedantic -Werror: the public headers must
   be plain C, and the shared library must link and run from C alone. */
#include <stdio.h>

#include "quorvel.h"

int main(void) {
  puts("quorvel headers compile as C99");
  return 0;
}
