// Reading a secret from the user's terminal.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace quorvix::platform {

// True when standard input is a terminal.
bool StdinIsTerminal();

// Reads one line from standard input without echoing it, after showing `prompt` on `out`;
// nothing when a stop request (Ctrl-C) broke it off. The echo is back on in either case.
std::optional<std::string> ReadSecretLine(const std::string& prompt, std::ostream& out);

}  // namespace quorvix::platform
