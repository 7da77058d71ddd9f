// The previous-instance indication: a lock held for the life of the process.
#pragma once

#include <string>

namespace quorvix::platform {

class InstanceLock {
 public:
  enum class Wait { No, Yes };

  // Takes the lock named `name` in the user's runtime folder (the state folder when there is
  // none). A lock that cannot be created at all counts as no previous instance. With
  // Wait::Yes it waits until the holder lets go, so that holders take turns.
  explicit InstanceLock(const std::string& name, Wait wait = Wait::No);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when some process holds the lock `name` now; takes nothing.
  static bool IsHeld(const std::string& name);

  // True when another process held the lock when this one was created.
  bool previousInstance() const { return previousInstance_; }

 private:
  int handle_ = -1;        // the lock file (POSIX)
  void* mutex_ = nullptr;  // the named mutex (Windows)
  bool previousInstance_ = false;
};

}  // namespace quorvix::platform
