// The record figures that scale with the pointer size, and the names that
// are one function, read from the shared library itself.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "quorvel.h"

namespace {

constexpr bool kNarrowPointers = sizeof(void *) == 4;

TEST(Layout, RecordsScaleWithThePointerSize) {
  EXPECT_EQ(sizeof(TraceLine), kNarrowPointers ? 72u : 88u);
  // Records without pointers keep their sizes on every target.
  EXPECT_EQ(sizeof(DomainRecord), 288u);
  EXPECT_EQ(sizeof(csha256_ctx), 168u);
  EXPECT_EQ(sizeof(QRVL_MD5_CTX), 88u);
  EXPECT_EQ(sizeof(TryScanfState), 120u);
  EXPECT_EQ(sizeof(TrySleepState), 16u);
}

TEST(Layout, AliasesAreOneFunction) {
  void *lib = dlopen(QRVL_TEST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  const std::pair<const char *, const char *> same[] = {
      {"STD_Map_Size", "STD_List_Size"},
      {"SetSocketNoSIGPIPE", "TryScanf"},
      {"csha224_update", "csha256_update"},
      {"hmac_csha224_update", "hmac_csha256_update"},
      {"hmac_csha224_reinit", "hmac_csha256_reinit"},
      {"memdb_lock", "fastIdx_lock"},
      {"memdb_unlock", "fastIdx_unlock"},
      {"memdb_route_delete", "fastIdx_route_delete"},
  };
  for (auto [alias, target] : same) {
    ASSERT_NE(dlsym(lib, alias), nullptr) << alias;
    EXPECT_EQ(dlsym(lib, alias), dlsym(lib, target)) << alias << " and " << target;
  }
  // The Slp's second field is a pointer: at the size's offset only where
  // pointers are 32 bits wide.
  EXPECT_EQ(dlsym(lib, "slp_getstr_p1") == dlsym(lib, "STD_List_Size"), kNarrowPointers);
  dlclose(lib);
}

}  // namespace
