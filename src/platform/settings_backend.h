// The persistent store under the settings: one key of named text values, and the entry that
// starts the program with the system. The registry on Windows; files elsewhere.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quorvix::platform {

class SettingsBackend {
 public:
  enum class Status {
    Ok,
    KeyUnavailable,  // the program's key (or the start-up key) cannot be opened or created
    Failed,          // the key opened, but the value could not be read, set or deleted
  };

  virtual ~SettingsBackend() = default;

  // Reads a value of the program's key as the registry's query does: `buffer` receives the
  // stored bytes followed by a NUL. On entry `size` is the buffer's size; on return it is the
  // value's size in bytes, terminator included. A value that does not fit fails, copying
  // nothing; a missing value fails. Each call opens and closes the key.
  virtual Status QueryValue(std::string_view name, char* buffer, std::size_t& size) = 0;

  // Stores the bytes as the value's text, replacing any earlier one.
  virtual Status SetValue(std::string_view name, std::string_view bytes) = 0;

  // Creates or overwrites the start-with-the-system entry `entryName` running the program at
  // `command`, followed by `arguments` (plain words separated by blanks; usually none).
  virtual Status SetAutoRunEntry(std::string_view entryName, std::string_view command,
                                 std::string_view arguments) = 0;

  // Deletes that entry; a missing entry fails.
  virtual Status DeleteAutoRunEntry(std::string_view entryName) = 0;

  // When the value exists but cannot be read through a buffer of `bufferSize` bytes (too long,
  // unreadable, not a regular file), moves it aside under a new name so that the next write
  // does not destroy it, and returns where it went; otherwise returns empty and changes
  // nothing.
  virtual std::string KeepUnreadableValue(std::string_view /*name*/, std::size_t /*bufferSize*/) {
    return {};
  }

  // Removes what interrupted writes left behind (temporary copies of values: they may hold
  // passwords). Writes still in progress are left alone.
  virtual void RemoveStaleTemporaries() {}
};

// The store of the current user on this platform.
std::unique_ptr<SettingsBackend> MakeSystemSettingsBackend();

// Where that store keeps its values (a folder, a registry key): it names the configuration.
std::string SystemSettingsLocation();

}  // namespace quorvix::platform
