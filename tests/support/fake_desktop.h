// A Desktop that records what the program asked of it, in order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/desktop.h"

namespace quorvix::testing {

struct ShownMessage {
  std::string text;
  std::string title;
  MessageIcon icon;
};

struct SentTrayRequest {
  TrayRequest request;
  TrayRecord record;
};

class FakeDesktop : public Desktop {
 public:
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
    messages.push_back({std::string(text), std::string(title), icon});
    Note("message:" + std::string(text));
  }
  void EndProcess() override {
    ++endProcessCalls;
    Note("end process");
  }
  void SendTrayRequest(TrayRequest request, const TrayRecord& record) override {
    trayRequests.push_back({request, record});
    Note("tray");
  }
  void InstallTrayHook() override {
    hookInstalled = true;
    Note("hook installed");
  }
  void RemoveTrayHook() override {
    hookInstalled = false;
    Note("hook removed");
  }
  void SetQuitEnabled(bool enabled) override {
    quitEnabled = enabled;
    Note(enabled ? "quit enabled" : "quit disabled");
  }
  void SetWatchTimer(bool enabled) override {
    watchTimer = enabled;
    Note(enabled ? "timer on" : "timer off");
  }
  void ShowWindow(Window window) override {
    shown.push_back(window);
    Note("show " + Name(window));
    if (onShow) onShow(window);
  }
  void UnloadWindow(Window window) override {
    unloaded.push_back(window);
    Note("unload " + Name(window));
  }
  void UnloadMain() override {
    ++unloadMainCalls;
    Note("unload main");
  }
  void ProcessEvents() override {
    ++processEventsCalls;
    if (onEvents) onEvents();
  }
  void WaitForEvents() override {
    ++waitForEventsCalls;
    if (onEvents) onEvents();
  }
  void OpenWebPage(const std::string& url) override {
    pages.push_back(url);
    Note("open " + url);
  }

  static std::string Name(Window window) {
    switch (window) {
      case Window::Settings:
        return "settings";
      case Window::LogViewer:
        return "log viewer";
      case Window::About:
        return "about";
    }
    return "?";
  }

  // Runs as the user would while events are processed (e.g. closing the settings dialog).
  std::function<void()> onEvents;
  std::function<void(Window)> onShow;

  std::vector<std::string> calls;  // every request, in order
  std::vector<ShownMessage> messages;
  std::vector<SentTrayRequest> trayRequests;
  std::vector<Window> shown;
  std::vector<Window> unloaded;
  std::vector<std::string> pages;
  int endProcessCalls = 0;
  int unloadMainCalls = 0;
  int processEventsCalls = 0;
  int waitForEventsCalls = 0;
  bool hookInstalled = false;
  bool quitEnabled = true;
  bool watchTimer = false;

 private:
  void Note(std::string call) { calls.push_back(std::move(call)); }
};

}  // namespace quorvix::testing
