// Runs a crypto test program on one engine tier, named by the environment
// variable QRVL_TEST_ENGINE_TIER (portable, sse, avx2 or avx512; unset
// means the library's own choice).  The tests then skip on a processor that
// lacks the tier, saying so.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "crypto/aes.hpp"
#include "crypto/kernels.hpp"
#include "crypto/sha256.hpp"

namespace {

using quorvel::detail::EngineTier;

class EngineTierEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    const char *wanted = std::getenv("QRVL_TEST_ENGINE_TIER");
    if (wanted == nullptr || *wanted == '\0') return;
    for (int t = 0; t <= static_cast<int>(EngineTier::kAvx512); ++t) {
      const auto tier = static_cast<EngineTier>(t);
      if (std::strcmp(wanted, quorvel::detail::engine_tier_name(tier)) != 0) continue;
      if (!quorvel::detail::set_engine_tier(tier)) GTEST_SKIP() << "this processor has no " << wanted;
      std::printf("engines: aes %s, sha256 %s, crc32 %s, base64 %s\n",
                  quorvel::detail::aes_engine().name, quorvel::detail::sha256_engine().name,
                  quorvel::detail::crc32_engine().name, quorvel::detail::base64_engine().name);
      return;
    }
    FAIL() << "unknown engine tier " << wanted;
  }
};

const testing::Environment *const kEnvironment =
    testing::AddGlobalTestEnvironment(new EngineTierEnvironment);

}  // namespace
