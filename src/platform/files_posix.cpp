#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/files.h"

namespace quorvix::platform {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

// Closes on every path out; a failing close is reported by Close().
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  std::error_code Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? std::error_code() : LastError();
  }

 private:
  int fd_;
};

std::error_code WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

std::string ParentOf(const std::string& path) {
  const auto cut = path.rfind('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

}  // namespace

std::error_code CreateFolders(const std::string& path, unsigned mode) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    return S_ISDIR(info.st_mode) ? std::error_code()
                                 : std::make_error_code(std::errc::not_a_directory);
  }
  if (errno != ENOENT) return LastError();
  const std::string parent = ParentOf(path);
  if (parent != path) {
    if (auto error = CreateFolders(parent, mode)) return error;
  }
  if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
    return LastError();
  }
  return {};
}

std::error_code AppendToFile(const std::string& path, std::string_view bytes) {
  int raw = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (raw < 0 && errno == ENOENT) {
    if (auto error = CreateFolders(ParentOf(path), 0700)) return error;
    raw = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  }
  if (raw < 0) return LastError();
  Fd fd(raw);
  if (auto error = WriteAll(fd.get(), bytes)) return error;
  return fd.Close();
}

std::error_code ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                                      unsigned mode, const std::function<void()>& beforeRename) {
  const auto cut = path.rfind('/');
  const std::string folder = ParentOf(path);
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  std::string pattern = folder + "/." + name + ".XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int raw = ::mkostemp(temp.data(), O_CLOEXEC);
  if (raw < 0) return LastError();
  Fd fd(raw);
  const auto discard = [&](std::error_code error) {
    ::unlink(temp.data());
    return error;
  };
  if (::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) return discard(LastError());
  if (auto error = WriteAll(fd.get(), bytes)) return discard(error);
  if (::fsync(fd.get()) != 0) return discard(LastError());
  if (auto error = fd.Close()) return discard(error);
  if (beforeRename) beforeRename();
  if (::rename(temp.data(), path.c_str()) != 0) return discard(LastError());
  // Make the rename itself durable; a failure here leaves a correct file, so it is not reported.
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

std::string ToPlatformText(std::string_view utf8) { return std::string(utf8); }
std::string FromPlatformText(std::string_view bytes) { return std::string(bytes); }

std::string ErrorText(std::error_code error) { return error.message(); }

}  // namespace quorvix::platform
