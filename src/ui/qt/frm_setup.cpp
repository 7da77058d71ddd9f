#include "ui/qt/frm_setup.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>

#include "ui/qt/place_window.h"
#include "ui/qt/qt_text.h"
#include "ui_frmSetup.h"

namespace quorvix {

frmSetup::frmSetup(ShellServices services, Shell& shell, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::frmSetup>()),
      shell_(shell),
      logic_(*this, services, shell) {
  ui_->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowIcon(QIcon(QStringLiteral(":/icons/tray-colour-32.png")));
  // Group captions sit on the frame's border, as the layout's positions assume.
  setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
      "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"));
  for (QAction* action : ui_->mnuFile->actions()) {
    if (action->isSeparator()) action->setObjectName(QStringLiteral("mnuLine"));
  }
  // Taller Chinese fonts need a taller bar than the designer's: size it from its own hint, or
  // its menus fold into a "»" button. The controls keep their places below it.
  const int barHeight = ui_->menuBar->sizeHint().height();
  ui_->menuBar->setGeometry(0, 0, ui_->client->width(), barHeight);
  ui_->client->move(0, barHeight);
  setFixedSize(ui_->client->width(), barHeight + ui_->client->height());
  PlaceInTheMiddle(*this);
  ui_->strDomain->setFocus();

  connect(ui_->cmdNew, &QPushButton::clicked, this,
          [this] { shell_.Guarded([this] { logic_.Add(); }); });
  connect(ui_->cmdDel, &QPushButton::clicked, this,
          [this] { shell_.Guarded([this] { logic_.Delete(); }); });
  connect(ui_->cmdOkay, &QPushButton::clicked, this,
          [this] { shell_.Guarded([this] { logic_.Ok(); }); });
  connect(ui_->cmdCancel, &QPushButton::clicked, this,
          [this] { shell_.Guarded([this] { logic_.Cancel(); }); });
  connect(ui_->domainList, &QListWidget::itemDoubleClicked, this,
          [this] { shell_.Guarded([this] { logic_.TakeBack(); }); });
  // Any change of the box, by the user or from code, counts as its click.
  connect(ui_->chkAutoRun, &QCheckBox::stateChanged, this, [this] { logic_.AutoRunClicked(); });
  const std::pair<QAction*, void (SetupDialog::*)()> menu[] = {
      {ui_->mnuFresh, &SetupDialog::MenuRefresh},  {ui_->mnuStop, &SetupDialog::MenuStop},
      {ui_->mnuQuit, &SetupDialog::MenuQuit},      {ui_->mnuLog, &SetupDialog::MenuLog},
      {ui_->mnuUpdate, &SetupDialog::MenuUpgrade}, {ui_->mnuHelp, &SetupDialog::MenuHelp},
      {ui_->mnubuy, &SetupDialog::MenuBuy},        {ui_->mnuAbout, &SetupDialog::MenuAbout}};
  for (const auto& [action, handler] : menu) {
    connect(action, &QAction::triggered, this, [this, handler = handler] {
      shell_.Guarded([this, handler] { (logic_.*handler)(); });
    });
  }
  shell_.Guarded([this] { logic_.Load(); });
}

frmSetup::~frmSetup() = default;

std::string frmSetup::DomainText() const { return Utf8(ui_->strDomain->text()); }
void frmSetup::SetDomainText(const std::string& text) { ui_->strDomain->setText(Qt8(text)); }
std::string frmSetup::PasswordText() const { return Utf8(ui_->Password->text()); }
void frmSetup::SetPasswordText(const std::string& text) { ui_->Password->setText(Qt8(text)); }
void frmSetup::FocusDomain() { ui_->strDomain->setFocus(); }
void frmSetup::FocusPassword() { ui_->Password->setFocus(); }
int frmSetup::ItemCount() const { return ui_->domainList->count(); }
std::string frmSetup::ItemText(int index) const {
  return Utf8(ui_->domainList->item(index)->text());
}

int frmSetup::SelectedIndex() const {
  const QList<QListWidgetItem*> selected = ui_->domainList->selectedItems();
  return selected.isEmpty() ? -1 : ui_->domainList->row(selected.front());
}

void frmSetup::AddItem(const std::string& text) { ui_->domainList->addItem(Qt8(text)); }
void frmSetup::RemoveItem(int index) {
  delete ui_->domainList->takeItem(index);
  // The list selects a neighbour of the removed item; nothing must stay selected, or a second
  // 删除 would delete that domain.
  ui_->domainList->clearSelection();
}

void frmSetup::SetOptions(bool autoRun, bool mx, bool logVerbose) {
  ui_->chkAutoRun->setChecked(autoRun);
  ui_->chkMX->setChecked(mx);
  ui_->chkLogVerbose->setChecked(logVerbose);
}

bool frmSetup::AutoRunChecked() const { return ui_->chkAutoRun->checkState() == Qt::Checked; }
bool frmSetup::MXChecked() const { return ui_->chkMX->checkState() == Qt::Checked; }
bool frmSetup::LogVerboseChecked() const { return ui_->chkLogVerbose->checkState() == Qt::Checked; }

void frmSetup::CloseDialog() { close(); }

void frmSetup::closeEvent(QCloseEvent* event) {
  shell_.Guarded([this] { logic_.Unload(); });
  event->accept();
}

void frmSetup::keyPressEvent(QKeyEvent* event) {
  // No button is the default or the cancel button: Enter and Esc press nothing.
  if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace quorvix
