// An event log for tests: writes to a file in a temporary folder, verbose on, and keeps the
// message of every line (without its time stamp) for assertions.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "settings/event_log.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix::testing {

class LogRecorder {
 public:
  explicit LogRecorder(ProgramState& state, bool verbose = true)
      : state_(state), log_(state, desktop_, clock_) {
    state_.glbLogVerbose = verbose;
    state_.logFilePath = dir_ / "quorvixDDNS.log";
    log_.SetLineObserver([this](std::string_view line) {
      const auto tab = line.find('\t');
      lines.emplace_back(line.substr(tab == std::string_view::npos ? 0 : tab + 1));
    });
  }

  EventLog& log() { return log_; }
  FakeDesktop& desktop() { return desktop_; }

  bool Has(std::string_view message) const {
    return std::find(lines.begin(), lines.end(), message) != lines.end();
  }

  std::vector<std::string> lines;

 private:
  ProgramState& state_;
  TempDir dir_;
  FakeDesktop desktop_;
  FakeClock clock_;
  EventLog log_;
};

}  // namespace quorvix::testing
