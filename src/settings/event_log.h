// The event log: one time-stamped line per event, appended to a plain-text file that is opened
// and closed for every line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/desktop.h"
#include "base/log_sink.h"
#include "base/program_state.h"
#include "platform/clock.h"

namespace quorvix {

// The opening of the error report's message: "an error occurred while the system was running,
// the error message is:".
inline constexpr std::string_view kErrorReportPrefix = "系统在运行过程中发生了一个错误,错误信息是:";

// Past this size the log is renamed to its older generation (OlderLogPath) and a new file is
// started, so the log never grows without bound; readers show both.
inline constexpr std::uintmax_t kLogRotateBytes = 4 * 1024 * 1024;

// The older generation of the log file at `path`.
std::string OlderLogPath(const std::string& path);

// The text with every control character but TAB written as an escape ("\r", "\n", "\x1B",
// "\u009B" for the C1 controls), so that no text from a reply can start a line of its own or
// reach a terminal as a command.
std::string EscapeControls(std::string_view text);

class EventLog : public LogSink {
 public:
  // Reads `state.glbLogVerbose` and `state.logFilePath` afresh at every line. All three must
  // outlive the log.
  EventLog(const ProgramState& state, Desktop& desktop, platform::Clock& clock);

  // Appends "time stamp TAB message CR LF", the message's control characters escaped. A
  // verbose-only line is written only while verbose logging is on. A line that cannot be written is
  // reported to the user once and lost; the caller always goes on.
  void WriteLog(std::string_view message, bool verboseOnly) override;

  // Tells the user that an error occurred: logs the report and shows it in a message box.
  void ReportError(std::string_view description);

  // Called with each line that passes the verbose filter, time stamp included, without the
  // line end, whether or not the file took it (the headless client echoes the log to its
  // standard output).
  void SetLineObserver(std::function<void(std::string_view)> observer);

 private:
  const ProgramState& state_;
  Desktop& desktop_;
  platform::Clock& clock_;
  std::function<void(std::string_view)> observer_;
  bool reporting_ = false;  // a failure of the report's own line starts no second report
};

}  // namespace quorvix
