// The record figures that scale with the pointer size, and the names that
// are one function, read from the shared library itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "quorvel.h"

#if defined(_WIN32)
#include <windows.h>

#include <string>
#else
#include <dlfcn.h>
#endif

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

// The built shared library, opened by path, and its exported names.
#if defined(_WIN32)
struct Library {
  // A path of the build machine: under wine its root is drive Z.
  HMODULE module = LoadLibraryA(((QRVL_TEST_LIBRARY[0] == '/' ? "Z:" : "") + std::string(QRVL_TEST_LIBRARY)).c_str());
  ~Library() { if (module != nullptr) FreeLibrary(module); }
  bool opened() const { return module != nullptr; }
  void *find(const char *name) const { return reinterpret_cast<void *>(GetProcAddress(module, name)); }
};
#else
struct Library {
  void *handle = dlopen(QRVL_TEST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ~Library() { if (handle != nullptr) dlclose(handle); }
  bool opened() const { return handle != nullptr; }
  void *find(const char *name) const { return dlsym(handle, name); }
};
#endif

TEST(Layout, AliasesAreOneFunction) {
  const Library lib;
  ASSERT_TRUE(lib.opened()) << QRVL_TEST_LIBRARY;
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
    ASSERT_NE(lib.find(alias), nullptr) << alias;
    EXPECT_EQ(lib.find(alias), lib.find(target)) << alias << " and " << target;
  }
  // The Slp's second field is a pointer: at the size's offset only where
  // pointers are 32 bits wide.
  EXPECT_EQ(lib.find("slp_getstr_p1") == lib.find("STD_List_Size"), kNarrowPointers);
}

}  // namespace
