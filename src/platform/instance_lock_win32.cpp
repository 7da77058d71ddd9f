#include <windows.h>

#include "platform/instance_lock.h"
#include "platform/win32_text.h"

namespace quorvix::platform {

bool InstanceLock::IsHeld(const std::string& name) {
  // The named mutex exists exactly as long as a process holds it open.
  const HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, Widen("Local\\" + name).c_str());
  if (mutex == nullptr) return false;
  ::CloseHandle(mutex);
  return true;
}

InstanceLock::InstanceLock(const std::string& name, Wait wait) {
  // A named mutex in this session, held for the life of the process.
  const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, Widen("Local\\" + name).c_str());
  if (mutex == nullptr) return;
  previousInstance_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
  mutex_ = mutex;
  // An existing mutex was opened, not owned: take turns with its holder.
  if (previousInstance_ && wait == Wait::Yes) ::WaitForSingleObject(mutex, INFINITE);
}

InstanceLock::~InstanceLock() {
  if (mutex_ != nullptr) ::CloseHandle(static_cast<HANDLE>(mutex_));
}

}  // namespace quorvix::platform
