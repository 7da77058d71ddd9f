// A private temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <string_view>

namespace quorvix::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Whole-file helpers for assertions.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
bool FileExists(const std::string& path);

}  // namespace quorvix::testing
