// The settings store: single text values under the program's key, the start-with-the-system
// entry, and loading every setting into the program-wide state at start-up.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/desktop.h"
#include "base/log_sink.h"
#include "base/program_state.h"
#include "platform/program_paths.h"
#include "platform/settings_backend.h"

namespace quorvix {

// The value names of the program's key.
inline constexpr std::string_view kSettingAutoRun = "glbAutoRun";
inline constexpr std::string_view kSettingMX = "glbMX";
inline constexpr std::string_view kSettingFirstRun = "glbFirstRun";
inline constexpr std::string_view kSettingLogVerbose = "glbLogVerbose";
inline constexpr std::string_view kSettingDomains = "domains";

// A value is read through a buffer of this many bytes, terminator included: a stored text of
// 1023 bytes reads back whole, one of 1024 bytes or more reads as empty.
inline constexpr std::size_t kValueBufferSize = 1024;

// Booleans are stored as these words and compared exactly, letter case included.
inline constexpr std::string_view kTrueWord = "true";
inline constexpr std::string_view kFalseWord = "false";

// Nothing is cached: every operation opens the key, does its one read, write or delete, and
// closes it again, so what one caller writes is what the next reads.
class SettingsStore {
 public:
  // `backend` and `desktop` must outlive the store. `logFilePath` is what LoadSettings
  // publishes as the event log's file.
  SettingsStore(platform::SettingsBackend& backend, Desktop& desktop,
                platform::ProgramLocation program, std::string logFilePath);

  // Words the start-with-the-system entry passes to the program (the headless client's "run").
  void SetAutoRunArguments(std::string arguments) { autoRunArguments_ = std::move(arguments); }

  // The stored text, or empty when the value is missing, unreadable, 1024 bytes or longer, or
  // shorter than 2 bytes with its terminator. When the key itself cannot be opened the user is
  // told ("打开注册表失败") and the program ends.
  std::string ReadSetting(std::string_view name);

  // Stores the text; false when the key cannot be opened or the value cannot be set. Shows
  // nothing. A stored domain list that exists but cannot be read is never overwritten: it is
  // first moved aside, and an always-written line says where it went.
  bool WriteSetting(std::string_view name, std::string_view text);

  // Where the store's own lines go (none until set). The sink must outlive the store.
  void SetLogSink(LogSink* sink) { sink_ = sink; }

  // Creates (true) or deletes (false) the start-with-the-system entry named after the program's
  // base name; false when that fails, a missing entry to delete included. Shows nothing.
  bool SetAutoRun(bool enable);

  // Reads every setting into the state with its default, marks the first run as done in the
  // store, removes what interrupted writes left behind, and sets the log file's path. Commands that
  // only change settings pass false for `markFirstRun`, so that the program's own first start still
  // does its first-run work.
  void LoadSettings(ProgramState& state, bool markFirstRun = true);

  const platform::ProgramLocation& program() const { return program_; }

 private:
  platform::SettingsBackend& backend_;
  Desktop& desktop_;
  platform::ProgramLocation program_;
  std::string logFilePath_;
  std::string autoRunArguments_;
  LogSink* sink_ = nullptr;
};

// The line written when an unreadable domain list was moved aside before a new one was saved.
std::string KeptDomainListLine(std::string_view keptAs);

// The word a flag is stored as.
std::string_view BoolWord(bool value);

}  // namespace quorvix
