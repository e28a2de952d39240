// Files for tests: a fresh temporary directory removed with all it holds at
// the end of its scope, and a whole file read back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#if defined(_WIN32)
#include "child_process.hpp"
#endif

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qrvl_test {

// The file's bytes, or "<missing>" if it cannot be opened.
inline std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TempDir {
 public:
#if defined(_WIN32)
  // Windows has no mkdtemp.  The name comes from the test's own process and
  // the directory's place in the test, so that a run_child child, which
  // replays the test, finds the directory its parent made (as a forked
  // child would) and leaves it to the parent.
  TempDir() {
    detail::ChildState &s = detail::state();
    std::error_code e;
    const std::string name = "qrvl-test-" + std::to_string(s.parent) + "-" +
                             std::to_string(s.temp_dirs++);
    path_ = (std::filesystem::temp_directory_path(e) / name).string();
    if (s.call >= 0 && std::filesystem::is_directory(path_, e)) {
      owned_ = false;
      return;
    }
    std::filesystem::remove_all(path_, e);  // left by a child that made it itself
    if (!std::filesystem::create_directory(path_, e)) ADD_FAILURE() << "cannot make " << path_;
  }
#else
  TempDir() {
    if (mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  }
#endif
  ~TempDir() {
    std::error_code e;
    if (owned_) std::filesystem::remove_all(path_, e);
  }
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_ = "/tmp/qrvl-test-XXXXXX";
  bool owned_ = true;
};

}  // namespace qrvl_test
