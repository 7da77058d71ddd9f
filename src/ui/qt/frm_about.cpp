#include "ui/qt/frm_about.h"

#include <QFont>
#include <QMouseEvent>
#include <QPixmap>

#include "ui/qt/place_window.h"
#include "ui/qt/qt_text.h"
#include "ui/windows/about.h"
#include "ui_frmAbout.h"

namespace quorvix {

frmAbout::frmAbout(Desktop& desktop, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmAbout>()), desktop_(desktop) {
  ui_->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(size());
  ui_->Picture1->setPixmap(QPixmap(QStringLiteral(":/icons/tray-colour-32.png")));
  ui_->lblInfo->setText(Qt8(AboutText()));
  ui_->Label2->setText(Qt8(WebSiteAddress()));
  QFont link;
  link.setFamilies(
      {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
  link.setPointSize(9);
  link.setUnderline(true);
  ui_->Label2->setFont(link);
  ui_->Label2->installEventFilter(this);
  connect(ui_->Command1, &QPushButton::clicked, this, &QDialog::close);
  PlaceInTheMiddle(*this);
}

frmAbout::~frmAbout() = default;

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->Label2 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    desktop_.OpenWebPage(WebSiteAddress());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace quorvix
