#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/xdg.h"

namespace quorvix::platform {

namespace {

std::string LockFolder() {
  std::string folder = XdgRuntimeDir();
  if (folder.empty()) folder = XdgStateHome() + "/quorvixDDNS";
  return folder;
}

}  // namespace

bool InstanceLock::IsHeld(const std::string& name) {
  const std::string path = LockFolder() + "/" + name + ".lock";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;  // never taken
  // A shared lock is refused only while the holder's exclusive one stands.
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

InstanceLock::InstanceLock(const std::string& name, Wait wait) {
  const std::string folder = LockFolder();
  if (CreateFolders(folder, 0700)) return;
  const std::string path = folder + "/" + name + ".lock";
  handle_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (handle_ < 0) return;
  // flock is released by the kernel when the process ends, however it ends.
  if (::flock(handle_, LOCK_EX | LOCK_NB) == 0) return;
  previousInstance_ = errno == EWOULDBLOCK;
  if (previousInstance_ && wait == Wait::Yes) {
    while (::flock(handle_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
}

InstanceLock::~InstanceLock() {
  if (handle_ >= 0) ::close(handle_);
}

}  // namespace quorvix::platform
