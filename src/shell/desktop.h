// The desktop as the program's logic sees it. The Qt front-end implements this port, the
// headless client has its own, and tests use a recording fake, so no logic below the views
// touches a toolkit.
#pragma once

#include <string_view>

namespace quorvix {

enum class MessageIcon { Information, Warning, Critical };

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A modal message box with a single OK button; returns when the user has closed it.
  virtual void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) = 0;

  // Ends the process at once, without any clean-up. Real desktops do not return from it;
  // a test double records the call and returns, so callers must not rely on either.
  virtual void EndProcess() = 0;
};

}  // namespace quorvix
