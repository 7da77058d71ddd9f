// The few file operations the program needs, with the platform's error reporting.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvix::platform {

// Creates a folder and its missing parents with the given mode; an existing folder is fine.
std::error_code CreateFolders(const std::string& path, unsigned mode);

// Opens the file for appending (creating it, and its folder, when missing), writes the bytes,
// closes it again. No handle outlives the call, so readers may open the file at any time.
std::error_code AppendToFile(const std::string& path, std::string_view bytes);

// Replaces the file's content so that a reader, or a crash at any moment, sees either the old
// content or the new, never a mixture: the bytes go to a temporary file in the same folder,
// are flushed to disk, and the temporary file is renamed over the target. `beforeRename` runs
// between the flush and the rename (a seam for crash tests).
std::error_code ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                                      unsigned mode,
                                      const std::function<void()>& beforeRename = {});

// Text as the platform keeps it in files and the settings store: UTF-8 on POSIX, the ANSI
// code page on Windows.
std::string ToPlatformText(std::string_view utf8);
std::string FromPlatformText(std::string_view bytes);

// The platform's own description of an error, for messages shown to the user.
std::string ErrorText(std::error_code error);

}  // namespace quorvix::platform
