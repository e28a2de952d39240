// Files for tests: a fresh temporary directory removed with all it holds at
// the end of its scope, and a whole file read back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

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
  TempDir() {
    if (mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_ = "/tmp/qrvl-test-XXXXXX";
};

}  // namespace qrvl_test
