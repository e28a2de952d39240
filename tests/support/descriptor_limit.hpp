// POSIX: for one scope no new descriptor can be had.  The soft limit on
// open descriptors is lowered to the lowest free one, so the next open,
// socket or pipe fails with EMFILE, and is put back at the end of the
// scope, before a coverage build's counts need descriptors to be written.
// Only the soft limit is changed: valgrind refuses a change of the hard one.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace qrvl_test {

class NoDescriptorLeft {
 public:
  NoDescriptorLeft() {
    if (getrlimit(RLIMIT_NOFILE, &before_) != 0) {
      ADD_FAILURE() << "getrlimit failed";
      return;
    }
    const int next = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(next);
    rlimit lowered = before_;
    lowered.rlim_cur = static_cast<rlim_t>(next);
    lowered_ = setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    EXPECT_TRUE(lowered_) << "the descriptor limit cannot be lowered to " << next;
  }
  ~NoDescriptorLeft() {
    if (lowered_) {
      EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &before_), 0);
    }
  }
  NoDescriptorLeft(const NoDescriptorLeft &) = delete;
  NoDescriptorLeft &operator=(const NoDescriptorLeft &) = delete;

 private:
  rlimit before_{};
  bool lowered_ = false;
};

}  // namespace qrvl_test
