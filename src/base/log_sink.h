// Where lines for the event log go. The layers below the event log (the socket client) write
// through this, so they need not know the file, the verbose switch or the error report.
#pragma once

#include <string_view>

namespace quorvix {

class LogSink {
 public:
  virtual ~LogSink() = default;

  // A verbose-only line is kept only while verbose logging is on; the sink decides.
  virtual void WriteLog(std::string_view message, bool verboseOnly) = 0;
};

}  // namespace quorvix
