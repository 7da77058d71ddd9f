// The tray menu's commands, quitting, and the guard around every event handler.
#include <exception>

#include "base/program_identity.h"
#include "build_config.h"
#include "protocol/commands.h"
#include "shell/shell.h"

namespace quorvix {

std::string WebPageAddress(std::string_view path) {
  return "http://" + std::string(build::kWebHost) + std::string(path);
}

bool Shell::Refresh() {
  s_.state.lastUpdateOk = s_.runner.ExecuteCommand(kCommandStart);
  if (s_.state.lastUpdateOk) {
    SetTimer(true);  // domains are being resolved again: watch them
  } else {
    s_.log.WriteLog("域名动态解析失败", false);
    s_.desktop.ShowWindow(Window::LogViewer);
  }
  tray_.Stop_Connect_status(s_.state.lastUpdateOk, s_.state.failedDomains);
  return s_.state.lastUpdateOk;
}

bool Shell::Stop() {
  const bool stopped = s_.runner.ExecuteCommand(kCommandStop);
  if (stopped) {
    s_.state.lastUpdateOk = false;
    SetTimer(false);
  }
  tray_.Stop_Connect_status(s_.state.lastUpdateOk, s_.state.failedDomains);
  return stopped;
}

void Shell::OpenUpgradePage() { s_.desktop.OpenWebPage(WebPageAddress(kUpgradePage)); }
void Shell::OpenHelpPage() { s_.desktop.OpenWebPage(WebPageAddress(kHelpPage)); }
void Shell::ShowLog() { s_.desktop.ShowWindow(Window::LogViewer); }
void Shell::ShowSettings() { s_.desktop.ShowWindow(Window::Settings); }
void Shell::ShowAbout() { s_.desktop.ShowWindow(Window::About); }

void Shell::LogStopLine() {
  s_.log.WriteLog(VersionedLine(s_.store.program().baseName, "停止!"), false);
}

void Shell::Quit() {
  tray_.RemoveTrayIcon();
  LogStopLine();
  s_.desktop.UnloadWindow(Window::About);
  s_.desktop.UnloadWindow(Window::Settings);
  s_.desktop.UnloadWindow(Window::LogViewer);
  s_.desktop.UnloadMain();
}

void Shell::QuitAtOnce() {
  tray_.RemoveTrayIcon();
  LogStopLine();
  s_.desktop.EndProcess();
}

void Shell::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    s_.log.ReportError(error.what());
  } catch (...) {
    s_.log.ReportError("未知错误");
  }
}

}  // namespace quorvix
