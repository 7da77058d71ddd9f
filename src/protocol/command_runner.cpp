#include "protocol/command_runner.h"

#include "protocol/commands.h"
#include "protocol/request.h"
#include "protocol/signing.h"
#include "settings/domain_list.h"
#include "settings/status_file.h"

namespace quorvix {

CommandRunner::CommandRunner(ProgramState& state, SettingsStore& store, EventLog& log,
                             SocketClient& socket, ServiceEndpoints endpoints)
    : state_(state), store_(store), log_(log), socket_(socket), endpoints_(std::move(endpoints)) {}

std::string CommandRunner::BuildRequest(std::string_view command) {
  const std::string domainList = IsUpdateCommand(command) ? SignedDomainList(store_, log_) : "";
  return RequestText(command, state_.glbMX, domainList, endpoints_);
}

bool CommandRunner::DispatchReply(std::string_view command, std::string_view reply,
                                  UpdateExchange* exchange) {
  if (command == kCommandStart) return OnStartReply(reply, log_, exchange);
  if (command == kCommandStop) return OnStopReply(reply, log_, exchange);
  if (command == kCommandGetIp) return OnGetIpReply(reply, state_, log_);
  if (command == kCommandGetVer) return OnGetVerReply(reply, state_, log_);
  return false;
}

bool CommandRunner::ExecuteCommand(std::string_view command) {
  if (IsUpdateCommand(command) && !state_.hasDomains) {
    log_.WriteLog("执行命令失败,请先设置好要解析的域名", false);
    return false;
  }
  const bool update = IsUpdateCommand(command);
  if (update) lastExchange_ = UpdateExchange{};
  const std::string signedList = update ? SignedDomainList(store_, log_) : "";
  const std::string request = RequestText(command, state_.glbMX, signedList, endpoints_);
  const std::string& host = HostFor(command, endpoints_);
  log_.WriteLog("发送命令:" + std::string(command) + "....", true);
  if (!socket_.SockConnect(host, endpoints_.port)) {
    log_.WriteLog("抱歉，网络连接失败，请检查您本地网络是否正常", false);
    if (update) RecordStatus(command, false);
    return false;
  }
  std::string reply;
  if (socket_.SockSend(request) <= 0) {
    log_.WriteLog("命令发送失败", true);
  } else {
    reply = socket_.SockReceive();
    log_.WriteLog("服务器返回结果:\r\n" + reply, true);
    // Looked up while the connection is still open, before it is closed below.
    if (command == kCommandGetIp) state_.localIp = socket_.LocalAddress();
  }
  socket_.SockClose();
  if (!update) {
    const bool ok = DispatchReply(command, reply);
    if (ok && command == kCommandGetIp) RecordStatus(command, ok);
    return ok;
  }
  lastExchange_.sent.emplace();
  for (const DomainEntry& entry : ReadDomainList(signedList)) {
    lastExchange_.sent->push_back(entry.domain);
  }
  const bool ok = DispatchReply(command, reply, &lastExchange_);
  if (command == kCommandStart) state_.failedDomains = lastExchange_.Count(false);
  RecordStatus(command, ok);
  return ok;
}

void CommandRunner::RecordStatus(std::string_view command, bool ok) {
  if (statusPath_.empty() || clock_ == nullptr) return;
  const std::string now = platform::FormatLogTimestamp(clock_->Now());
  ClientStatus status = ReadClientStatus(statusPath_);
  if (command == kCommandGetIp) {
    status.publicIp = state_.publicIp;
    status.publicIpTime = now;
  } else {
    status.lastCommand = std::string(command);
    status.lastCommandOk = ok;
    status.lastCommandTime = now;
    for (const DomainResult& result : lastExchange_.results) {
      status.Record({result.domain, std::string(command), result.ok, result.text, now});
    }
  }
  // The status is a convenience: failing to keep it must not fail the command.
  WriteClientStatus(statusPath_, status);
}

}  // namespace quorvix
