#include "settings/event_log.h"

#include <filesystem>

#include "base/program_identity.h"
#include "platform/files.h"

namespace quorvix {

std::string OlderLogPath(const std::string& path) { return path + ".1"; }

std::string EscapeControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080 to U+009F: terminals take some of them (CSI) as the start of a command.
      const auto code = static_cast<unsigned char>(text[++i]);
      out += "\\u00";
      out += kHex[code >> 4];
      out += kHex[code & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

namespace {

// Starts a new file when the current one has reached the limit; the older generation is
// replaced. Failures are left to the append that follows, which reports them.
void RotateIfFull(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size < kLogRotateBytes) return;
  std::filesystem::rename(path, OlderLogPath(path), error);
}

}  // namespace

EventLog::EventLog(const ProgramState& state, Desktop& desktop, platform::Clock& clock)
    : state_(state), desktop_(desktop), clock_(clock) {}

void EventLog::SetLineObserver(std::function<void(std::string_view)> observer) {
  observer_ = std::move(observer);
}

void EventLog::WriteLog(std::string_view message, bool verboseOnly) {
  if (verboseOnly && !state_.glbLogVerbose) return;
  const std::string line =
      platform::FormatLogTimestamp(clock_.Now()) + "\t" + EscapeControls(message);
  if (observer_) observer_(line);
  RotateIfFull(state_.logFilePath);
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
