// An event log for tests, verbose unless told, keeping each line without its time stamp.
#pragma once

#include <algorithm>

#include "settings/event_log.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix::testing {

class LogRecorder {
 public:
  explicit LogRecorder(ProgramState& state, bool verbose = true) : log_(state, desktop_, clock_) {
    state.glbLogVerbose = verbose;
    state.logFilePath = dir_ / "quorvixDDNS.log";
    log_.SetLineObserver(
        [this](std::string_view line) { lines.emplace_back(line.substr(line.find('\t') + 1)); });
  }
  EventLog& log() { return log_; }
  FakeDesktop& desktop() { return desktop_; }
  bool Has(std::string_view line) const { return std::ranges::count(lines, line) > 0; }

  std::vector<std::string> lines;

 private:
  TempDir dir_;
  FakeDesktop desktop_;
  FakeClock clock_;
  EventLog log_;
};

}  // namespace quorvix::testing
