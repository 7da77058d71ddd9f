// The settings dialog: a thin Qt view over SetupDialog.
#pragma once

#include <QDialog>
#include <memory>

#include "ui/setup/setup_dialog.h"
#include "ui/setup/setup_view.h"

namespace Ui {
class frmSetup;
}

namespace quorvix {

class frmSetup : public QDialog, public SetupView {
  Q_OBJECT

 public:
  // Loads the dialog (its Load event) at once; `services` and `shell` must outlive it.
  frmSetup(ShellServices services, Shell& shell, QWidget* parent = nullptr);
  ~frmSetup() override;

  SetupDialog& logic() { return logic_; }

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

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::unique_ptr<Ui::frmSetup> ui_;
  Shell& shell_;
  SetupDialog logic_;
};

}  // namespace quorvix
