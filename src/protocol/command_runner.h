// Every exchange with the service goes through ExecuteCommand: refuse or build the request,
// connect, send, read the whole reply, close, and hand the reply to the command's outcome.
#pragma once

#include <string>
#include <string_view>

#include "base/program_state.h"
#include "net/socket_client.h"
#include "platform/clock.h"
#include "protocol/endpoints.h"
#include "protocol/outcomes.h"
#include "settings/event_log.h"
#include "settings/store.h"

namespace quorvix {

class CommandRunner {
 public:
  // All references must outlive the runner. The endpoints are the built-in servers; tests
  // alone pass others.
  CommandRunner(ProgramState& state, SettingsStore& store, EventLog& log, SocketClient& socket,
                ServiceEndpoints endpoints = {});

  // True when the command's outcome reports success; false when it is refused (START or STOP
  // without domains), no connection can be made, or the outcome fails. Blocks until done.
  bool ExecuteCommand(std::string_view command);

  // The whole request text; for START and STOP it signs the list stored at this moment.
  std::string BuildRequest(std::string_view command);

  // After each GETIP, START and STOP, records the outcome in the status file at `path`
  // (none until set), stamped with the clock's time. The clock must outlive the runner.
  void RecordStatusIn(std::string path, platform::Clock& clock) {
    statusPath_ = std::move(path);
    clock_ = &clock;
  }

  // The servers commands go to: the built-in ones unless a self-hosted service was chosen.
  void SetEndpoints(ServiceEndpoints endpoints) { endpoints_ = std::move(endpoints); }
  const ServiceEndpoints& endpoints() const { return endpoints_; }

  // What the reply of the last START or STOP said of the domains sent.
  const UpdateExchange& lastExchange() const { return lastExchange_; }

  // The outcome of the command applied to the reply; false for an unknown command. For START
  // and STOP, `exchange` (when given) names the domains sent and receives the counts.
  bool DispatchReply(std::string_view command, std::string_view reply,
                     UpdateExchange* exchange = nullptr);

 private:
  ProgramState& state_;
  SettingsStore& store_;
  EventLog& log_;
  SocketClient& socket_;
  ServiceEndpoints endpoints_;
  void RecordStatus(std::string_view command, bool ok);

  UpdateExchange lastExchange_;
  std::string statusPath_;
  platform::Clock* clock_ = nullptr;
};

}  // namespace quorvix
