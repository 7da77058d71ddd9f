// The XDG base folders of the current user (POSIX desktops).
#pragma once

#include <string>

namespace quorvix::platform {

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or not absolute.
std::string XdgConfigHome();
// $XDG_STATE_HOME, or ~/.local/state.
std::string XdgStateHome();
// $XDG_DATA_HOME, or ~/.local/share.
std::string XdgDataHome();
// $XDG_RUNTIME_DIR when set and absolute, else the empty text.
std::string XdgRuntimeDir();

}  // namespace quorvix::platform
