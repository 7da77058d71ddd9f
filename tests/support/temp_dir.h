// A private temporary folder, removed with its content afterwards; whole-file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace quorvix::testing {

class TempDir {
 public:
  TempDir() {
    static std::mt19937_64 random{std::random_device{}()};
    const auto path =
        std::filesystem::temp_directory_path() / ("quorvix-test-" + std::to_string(random()));
    std::error_code error;
    if (!std::filesystem::create_directory(path, error)) ADD_FAILURE() << "cannot create " << path;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, error);
    path_ = path.generic_string();
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  if (!(std::ofstream(path, std::ios::binary) << bytes)) ADD_FAILURE() << "cannot write " << path;
}

inline bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

}  // namespace quorvix::testing
