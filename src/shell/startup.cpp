// The start-up sequence, run once from the main window's load.
#include <cmath>

#include "base/program_identity.h"
#include "build_config.h"
#include "protocol/commands.h"
#include "shell/shell.h"

namespace quorvix {
namespace {

constexpr int kMaxAttempts = 3;
constexpr std::int16_t kAttemptPauseSeconds = 10;

long RoundedSecondsSinceMidnight(platform::Clock& clock) {
  return std::lround(platform::SecondsSinceMidnight(clock.Now()));
}

}  // namespace

Shell::Shell(ShellServices services) : s_(services), tray_(services.desktop) {}

void Shell::SetTimer(bool enabled) {
  watchOn_ = enabled;
  if (!enabled) early_.Clear();
  s_.desktop.SetWatchTimer(enabled);
}

void Shell::InitApp() {
  tray_.AddTrayIcon();
  s_.store.LoadSettings(s_.state);
  if (s_.state.glbFirstRun) s_.store.SetAutoRun(true);
  s_.state.ipCheckTicks = 0;
  s_.state.setupWaiting = false;
}

void Shell::WaitSeconds(std::int16_t seconds) {
  const long start = RoundedSecondsSinceMidnight(s_.clock);
  const long end = start + seconds;
  long now = RoundedSecondsSinceMidnight(s_.clock);
  while (now < end && now >= start) {
    s_.desktop.ProcessEvents();
    now = RoundedSecondsSinceMidnight(s_.clock);
    s_.clock.Sleep(std::chrono::milliseconds(500));
  }
}

void Shell::RunStartup(bool previousInstance) {
  try {
    RunStartupSteps(previousInstance);
  } catch (...) {
    // The start-up broke off: the program must still be quittable, and the tray must not go
    // on saying that it is connecting. The caller reports the error.
    s_.state.lastUpdateOk = false;
    tray_.Stop_Connect_status(false);
    s_.desktop.SetQuitEnabled(true);
    throw;
  }
}

void Shell::RunStartupSteps(bool previousInstance) {
  ProgramState& state = s_.state;
  EventLog& log = s_.log;
  s_.desktop.SetQuitEnabled(false);
  if (previousInstance) {
    s_.desktop.ShowMessage("提醒,本程序已经在运行", "警告", MessageIcon::Information);
  }
  state.lastUpdateOk = false;
  InitApp();
  log.WriteLog(VersionedLine(s_.store.program().baseName, "启动!"), false);

  if (s_.runner.ExecuteCommand(kCommandGetVer)) {
    const std::string version =
        std::to_string(state.serverMajor) + "." + std::to_string(state.serverMinor);
    log.WriteLog("获取服务器最新版本成功,主版本:" + std::to_string(state.serverMajor) +
                     ",次版本:" + std::to_string(state.serverMinor),
                 true);
    // Any difference counts, an older version on the server included.
    if (state.serverMajor != build::kVersionMajor || state.serverMinor != build::kVersionMinor) {
      log.WriteLog("****友情提醒****,quorvixDDNS已经有新版本(" + version + "),建议升级软件.",
                   false);
      s_.desktop.ShowMessage("已经有新版本Ver" + version + ",建议升级软件", "提醒",
                             MessageIcon::Information);
    }
  }

  if (!s_.runner.ExecuteCommand(kCommandGetIp)) {
    log.WriteLog("警告!获取本机IP地址失败", false);
  } else if (state.publicIp != state.localIp) {
    log.WriteLog("****友情提醒****,您的公网IP:" + state.publicIp + "与本机IP:" + state.localIp +
                     "不相同,可能您的机器在内网!必须在网关上做端口映射,将公网IP映射到您的私网IP"
                     "后.您本机配置的相关服务(如FTP,WWW,MAIL等)才会生效",
                 false);
  }

  if (!state.hasDomains) {
    state.setupWaiting = true;
    s_.desktop.ShowWindow(Window::Settings);
    // The dialog clears the flag when it unloads, after OK or Cancel.
    while (state.setupWaiting) s_.desktop.WaitForEvents();
  }

  for (int attempt = 0;;) {
    if (attempt >= kMaxAttempts || state.lastUpdateOk || !state.hasDomains) break;
    ++attempt;
    const std::string line = "尝试第" + std::to_string(attempt) + "次更新域名解析";
    log.WriteLog(line, false);
    tray_.SetTrayTip(line);
    state.lastUpdateOk = s_.runner.ExecuteCommand(kCommandStart);
    if (!state.lastUpdateOk) WaitSeconds(kAttemptPauseSeconds);
  }

  // The watch runs whenever domains are being resolved, also after failed attempts, so that a
  // start-up without network recovers by itself at the next check.
  if (state.lastUpdateOk || state.hasDomains) SetTimer(true);
  if (!state.lastUpdateOk) {
    log.WriteLog(state.hasDomains ? "域名动态解析失败" : "错误!请先设置好要解析的域名", false);
    s_.desktop.ShowWindow(Window::LogViewer);
  }
  tray_.Stop_Connect_status(state.lastUpdateOk, state.failedDomains);
  s_.desktop.SetQuitEnabled(true);
}

}  // namespace quorvix
