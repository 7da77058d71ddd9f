// The log viewer: the event log as it was when the window opened, scrolled to its end.
#pragma once

#include <QDialog>
#include <cstddef>
#include <memory>
#include <string>

#include "shell/shell.h"

namespace Ui {
class frmViewLog;
}

namespace quorvix {

class frmViewLog : public QDialog {
  Q_OBJECT

 public:
  // Reads the file once, now. `services` must outlive the window.
  frmViewLog(ShellServices services, Shell& shell, QWidget* parent = nullptr);
  ~frmViewLog() override;

  // The lines scrolled down so that the newest are in view.
  int scrolledLines() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Clear();
  void ScrollToNewest();

  std::unique_ptr<Ui::frmViewLog> ui_;
  ShellServices s_;
  Shell& shell_;
  std::size_t lines_ = 0;  // of the snapshot shown
  bool scrolled_ = false;
};

}  // namespace quorvix
