#include "settings/event_log.h"

#include "base/program_identity.h"
#include "platform/files.h"

namespace quorvix {

EventLog::EventLog(const ProgramState& state, Desktop& desktop, platform::Clock& clock)
    : state_(state), desktop_(desktop), clock_(clock) {}

void EventLog::SetLineObserver(std::function<void(std::string_view)> observer) {
  observer_ = std::move(observer);
}

void EventLog::WriteLog(std::string_view message, bool verboseOnly) {
  if (verboseOnly && !state_.glbLogVerbose) return;
  const std::string line = platform::FormatLogTimestamp(clock_.Now()) + "\t" + std::string(message);
  if (observer_) observer_(line);
  const std::error_code error =
      platform::AppendToFile(state_.logFilePath, platform::ToPlatformText(line + "\r\n"));
  if (error && !reporting_) ReportError(platform::ErrorText(error));
}

void EventLog::ReportError(std::string_view description) {
  const std::string message = std::string(kErrorReportPrefix) + std::string(description);
  {
    struct Reporting {
      bool& flag;
      explicit Reporting(bool& f) : flag(f) { flag = true; }
      ~Reporting() { flag = false; }
    } reporting(reporting_);
    WriteLog(message, false);
  }
  desktop_.ShowMessage(message, kProgramTitle, MessageIcon::Critical);
}

}  // namespace quorvix
