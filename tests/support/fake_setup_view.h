// The settings dialog's controls as plain values, for tests of its logic: two text boxes, the
// control that has the focus, a single-selection list and three check boxes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/setup/setup_view.h"

namespace quorvix::testing {

class FakeSetupView : public SetupView {
 public:
  std::string DomainText() const override { return domain; }
  void SetDomainText(const std::string& text) override { domain = text; }
  std::string PasswordText() const override { return password; }
  void SetPasswordText(const std::string& text) override { password = text; }
  void FocusDomain() override { focus = "domain"; }
  void FocusPassword() override { focus = "password"; }

  int ItemCount() const override { return static_cast<int>(items.size()); }
  std::string ItemText(int index) const override {
    return items.at(static_cast<std::size_t>(index));  // a wrong index throws, as it should fail
  }
  int SelectedIndex() const override { return selected; }
  void AddItem(const std::string& text) override { items.push_back(text); }
  void RemoveItem(int index) override {
    items.erase(items.begin() + index);
    selected = -1;  // a list box selects nothing after losing the selected item
  }

  // Like a real check box, a change made from code raises the click too.
  void SetOptions(bool autoRun, bool mx, bool logVerbose) override {
    const bool changed = autoRunBox != autoRun;
    autoRunBox = autoRun;
    mxBox = mx;
    logVerboseBox = logVerbose;
    if (changed) RaiseAutoRunClick();
  }
  bool AutoRunChecked() const override { return autoRunBox; }
  bool MXChecked() const override { return mxBox; }
  bool LogVerboseChecked() const override { return logVerboseBox; }

  // The user clicks the autorun box.
  void ClickAutoRun() {
    autoRunBox = !autoRunBox;
    RaiseAutoRunClick();
  }

  void CloseDialog() override {
    ++closeCalls;
    if (onClose) onClose();
  }

  std::string domain;
  std::string password;
  std::string focus;  // "domain", "password", or empty while no call moved it
  std::vector<std::string> items;
  int selected = -1;
  bool autoRunBox = false;
  bool mxBox = false;
  bool logVerboseBox = false;
  int autoRunClicks = 0;
  int closeCalls = 0;
  std::function<void()> onAutoRunClick;  // the dialog's click handler
  std::function<void()> onClose;         // the dialog's unload

 private:
  void RaiseAutoRunClick() {
    ++autoRunClicks;
    if (onAutoRunClick) onAutoRunClick();
  }
};

}  // namespace quorvix::testing
