// The About box: the product, its version and the maker's web site.
#pragma once

#include <QDialog>
#include <memory>

#include "base/desktop.h"

namespace Ui {
class frmAbout;
}

namespace quorvix {

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  // `desktop` opens the web site and must outlive the box.
  explicit frmAbout(Desktop& desktop, QWidget* parent = nullptr);
  ~frmAbout() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::frmAbout> ui_;
  Desktop& desktop_;
};

}  // namespace quorvix
