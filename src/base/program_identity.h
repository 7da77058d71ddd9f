// How the program names itself in captions and log lines.
#pragma once

#include <string>
#include <string_view>

namespace quorvix {

// The caption of the program's own message boxes.
inline constexpr std::string_view kProgramTitle = "quorvixDDNS";

// "1.1": the program's version as it is shown everywhere.
std::string VersionText();

// base name + "(ver1.1)" + what: the start ("启动!") and stop ("停止!") log lines.
std::string VersionedLine(std::string_view baseName, std::string_view what);

}  // namespace quorvix
