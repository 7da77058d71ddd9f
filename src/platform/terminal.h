// Reading a secret from the user's terminal.
#pragma once

#include <iosfwd>
#include <string>

namespace quorvix::platform {

// True when standard input is a terminal.
bool StdinIsTerminal();

// Reads one line from standard input without echoing it, after showing `prompt` on `out`.
std::string ReadSecretLine(const std::string& prompt, std::ostream& out);

}  // namespace quorvix::platform
