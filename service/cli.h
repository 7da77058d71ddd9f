// The service's command line: serve, manage accounts, show records.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvix::service {

// Runs one command line (without the program name); returns the exit status: 0 success,
// 1 failure, 2 bad arguments. `in` is where a password is read with --password-stdin.
int RunCommandLine(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);

}  // namespace quorvix::service
