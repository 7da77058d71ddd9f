// Where the running program lives and the files it keeps beside or for itself.
#pragma once

#include <string>
#include <string_view>

namespace quorvix::platform {

// The executable's folder as the platform reports it (nothing trimmed: a drive or file-system
// root keeps its separator) and its file name without the extension.
struct ProgramLocation {
  std::string folder;
  std::string baseName;
};

// Folder and base name of the running executable (/proc/self/exe, GetModuleFileName).
ProgramLocation CurrentProgramLocation();

// The file name without its last extension: "quorvixDDNS.exe" -> "quorvixDDNS". A leading dot
// does not start an extension (".hidden" stays whole).
std::string BaseNameOf(std::string_view fileName);

// Splits a full path into folder and base name. The folder keeps the separator of a root
// ("/" or "C:\"), and drops it otherwise.
ProgramLocation LocationOfPath(std::string_view path);

// The command that starts the program with the system: the folder with one trailing separator
// removed, a separator, the base name and, on Windows, ".exe". Not quoted.
std::string AutoRunCommand(const ProgramLocation& location);

// The event log's file for this platform: beside the program on Windows (the folder text
// followed by "\quorvixDDNS.log", nothing trimmed); in the user's state folder elsewhere,
// since an installed program's folder is not writable.
std::string DefaultLogFilePath(const ProgramLocation& location);

// The platform's folder separator.
char PathSeparator();

}  // namespace quorvix::platform
