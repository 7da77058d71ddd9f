// The console of a command-line program: its arguments and its output in the program's own
// text (UTF-8), and, on Windows, running on without a console window.
#pragma once

#include <string>
#include <vector>

namespace quorvix::platform {

// Makes a console (standard output or error) show the UTF-8 the program writes, whatever its
// code page. Nothing to do on POSIX.
void PrepareConsole();

// The command-line arguments after the program's name, as UTF-8 (Windows passes `argv` in the
// ANSI code page, which cannot hold every name).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The arguments that the start-with-the-system entry passes: `run`, and on Windows an option
// that hides the console window, since a window at every login would be in the user's way.
std::string AutoRunArguments();

// When `args` are the start-with-the-system entry's (Windows: run --background), lets go of the
// console window and drops the option, so that `args` read as a plain `run`. Returns whether
// it did.
bool TakeBackgroundOption(std::vector<std::string>& args);

}  // namespace quorvix::platform
