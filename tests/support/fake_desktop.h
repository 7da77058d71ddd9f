// A Desktop that records what the program asked of it.
#pragma once

#include <string>
#include <vector>

#include "shell/desktop.h"

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
  }
  void EndProcess() override { ++endProcessCalls; }

  std::vector<ShownMessage> messages;
  int endProcessCalls = 0;
};

}  // namespace quorvix::testing
