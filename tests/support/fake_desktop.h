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
  // As "Modify 7 grey 正在连接": the request, then the whole record.
  void SendTrayRequest(TrayRequest request, const TrayRecord& record) override {
    const char* names[] = {"Add ", "Modify ", "Delete "};
    Note(names[static_cast<int>(request)] + std::to_string(record.flags) +
         (record.image == TrayImage::Colour ? " colour " : " grey ") + record.tip);
  }
  void InstallTrayHook() override { Note("hook installed"); }
  void RemoveTrayHook() override { Note("hook removed"); }
  void SetQuitEnabled(bool enabled) override { Note(enabled ? "quit enabled" : "quit disabled"); }
  void SetWatchTimer(bool enabled) override { Note(enabled ? "timer on" : "timer off"); }
  void ShowWindow(Window window) override {
    Note("show " + Name(window));
    if (onShow) onShow(window);
  }
  void UnloadWindow(Window window) override { Note("unload " + Name(window)); }
  void UnloadMain() override { Note("unload main"); }
  void ProcessEvents() override {
    ++processEventsCalls;
    if (onEvents) onEvents();
  }
  void WaitForEvents() override { ProcessEvents(); }
  void OpenWebPage(const std::string& url) override { Note("open " + url); }

  static std::string Name(Window window) {
    return window == Window::Settings ? "settings"
           : window == Window::About  ? "about"
                                      : "log viewer";
  }

  std::function<void()> onEvents;  // runs as the user would while events are processed
  std::function<void(Window)> onShow;
  std::vector<std::string> calls;  // every request, in order
  std::vector<ShownMessage> messages;
  int endProcessCalls = 0;
  int processEventsCalls = 0;

 private:
  void Note(std::string call) { calls.push_back(std::move(call)); }
};

}  // namespace quorvix::testing
