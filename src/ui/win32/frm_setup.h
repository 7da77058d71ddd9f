// The settings dialog as a real window: the controls of its layout, the menu bar with its
// access keys, the keyboard order, and no default or cancel button.
#pragma once

#include "shell/shell.h"
#include "ui/setup/setup_dialog.h"
#include "ui/setup/setup_view.h"
#include "ui/win32/form.h"

namespace quorvix::win32 {

class frmSetup : public Form, public SetupView {
 public:
  // Both must outlive the dialog. Creates, loads and shows it.
  frmSetup(ShellServices services, Shell& shell, HICON icon);
  ~frmSetup() override;

  // SetupView
  std::string DomainText() const override;
  void SetDomainText(const std::string& text) override;
  std::string PasswordText() const override;
  void SetPasswordText(const std::string& text) override;
  void FocusDomain() override;
  void FocusPassword() override;
  int ItemCount() const override;
  std::string ItemText(int index) const override;
  int SelectedIndex() const override;
  void AddItem(const std::string& text) override;
  void RemoveItem(int index) override;
  void SetOptions(bool autoRun, bool mx, bool logVerbose) override;
  bool AutoRunChecked() const override;
  bool MXChecked() const override;
  bool LogVerboseChecked() const override;
  void CloseDialog() override;

 private:
  void OnCommand(int id, int code) override;
  void OnDestroy() override;

  Shell& shell_;
  SetupDialog logic_;
};

// The text of a window or control, as UTF-8.
std::string WindowText(HWND window);

}  // namespace quorvix::win32
