/* A tour of quorvel. */
#include <stdio.h>

#include "quorvel.h"

int main(void) {
  puts("quorvel tour");
  return 0;
}
