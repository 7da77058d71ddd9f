// The settings dialog's controls as plain values, for tests of its logic: two text boxes, the
// control that has the focus, a single-selection list and three check boxes.
#pragma once

#include <string>
#include <vector>

#include "ui/setup/setup_dialog.h"

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
  // A wrong index throws, which fails the test.
  std::string ItemText(int index) const override { return items.at(std::size_t(index)); }
  int SelectedIndex() const override { return selected; }
  void AddItem(const std::string& text) override { items.push_back(text); }
  void RemoveItem(int index) override {
    items.erase(items.begin() + index);
    selected = -1;  // a list box selects nothing after losing the selected item
  }

  // Like a real check box, a change made from code raises the click too.
  void SetOptions(bool autoRun, bool mx, bool logVerbose) override {
    const bool clicked = autoRunBox != autoRun;
    autoRunBox = autoRun;
    mxBox = mx;
    verboseBox = logVerbose;
    if (clicked && dialog != nullptr) dialog->AutoRunClicked();
  }
  bool AutoRunChecked() const override { return autoRunBox; }
  bool MXChecked() const override { return mxBox; }
  bool LogVerboseChecked() const override { return verboseBox; }
  void ClickAutoRun() { SetOptions(!autoRunBox, mxBox, verboseBox); }  // as the user does

  void CloseDialog() override {
    ++closeCalls;
    if (dialog != nullptr) dialog->Unload();
  }

  SetupDialog* dialog = nullptr;  // receives the clicks and the unload
  std::string domain, password;
  std::string focus;  // "domain", "password", or empty while no call moved it
  std::vector<std::string> items;
  int selected = -1;
  bool autoRunBox = false, mxBox = false, verboseBox = false;
  int closeCalls = 0;
};

}  // namespace quorvix::testing
