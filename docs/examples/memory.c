/* Memory: the sram pool in a static region, a map of ids to counts and a
   string ring that keeps the newest whole lines. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

static uint64_t region[512]; /* 4 KiB lent to the pool for good */

#define CHECK(x) if (!(x)) { fprintf(stderr, "failed: %s\n", #x); return 1; }

int main(void) {
  uint32_t free_before, used_before, free_now, used_now, third;
  char *block;
  uint8_t bitmap[16 / 8 + 1];
  uint32_t keys[16], values[16], id, count;
  STD_Map map;
  STD_MapCursor cursor;
  char ring[32], text[32];
  Slp slp;
  uint8_t overflow;

  /* sram: one pool per process, linked once. */
  CHECK(sram_poollink(region, sizeof region) == 0);
  sram_usage(&free_before, &used_before, &third);
  block = (char *)sram_malloc(100);
  CHECK(block != NULL);
  strcpy(block, "in the pool");
  sram_usage(&free_now, &used_now, &third);
  CHECK(used_now > used_before + 100 && free_now + used_now == free_before + used_before);
  sram_free(block);
  sram_usage(&free_now, &used_now, &third);
  CHECK(used_now == used_before); /* merged back with its free neighbour */

  /* STD_Map over caller arrays: 16 uint32_t keys to uint32_t values. */
  STD_Map_Init(&map, bitmap, keys, values, 16, sizeof id, sizeof count);
  for (id = 100; id < 105; ++id) {
    count = id * 2;
    CHECK(STD_Map_Insert(&map, &id, &count) == 0);
  }
  id = 102;
  CHECK(STD_Map_Insert(&map, &id, &count) == -1); /* already there */
  CHECK(STD_Map_Find(&map, &id, &cursor) == 0 && *(uint32_t *)cursor.value == 204);
  STD_Map_Erase(&map, &cursor);
  CHECK(STD_Map_Size(&map) == 4 && !STD_Map_Exist(&map, &id));
  count = 0;
  for (STD_Map_Rbegin(&map, &cursor); !STD_Map_Rend(&map, &cursor); STD_Map_Rnext(&map, &cursor))
    count += *(uint32_t *)cursor.value;
  CHECK(count == 200 + 202 + 206 + 208);

  /* Slp: a 31-byte ring; the oldest whole lines go when it runs full. */
  CHECK(slp_melink(&slp, ring, sizeof ring) == 0);
  slp_putstr(&slp, "first line\n");
  slp_putstr(&slp, "second line\n");
  slp_putstr(&slp, "third line\n");
  snprintf(text, sizeof text, "%s%s", slp_getstr_p1(&slp), slp_getstr_p2(&slp));
  CHECK(strcmp(text, "second line\nthird line\n") == 0);
  CHECK(slp_readstr(&slp, text, sizeof text - 1, &overflow) > 0 && overflow == 1);
  return 0;
}
