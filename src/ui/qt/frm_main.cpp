#include "ui/qt/frm_main.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QUrl>
#include <cstdlib>

#include "platform/address_watch.h"
#include "shell/shell.h"

// The icons live in a static library: register them explicitly, or the linker drops them.
static void InitTrayIcons() { Q_INIT_RESOURCE(icons); }

namespace quorvix {
namespace {

constexpr int kWatchIntervalMs = 60000;

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QIcon TrayImageIcon(const char* variant) {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64}) {
    icon.addFile(QStringLiteral(":/icons/tray-%1-%2.png").arg(QLatin1String(variant)).arg(size),
                 QSize(size, size));
  }
  return icon;
}

}  // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent),
      trayIcon_(new QSystemTrayIcon(this)),
      mnuTray_(new QMenu(QStringLiteral("Popup"), this)),
      tmCheckIp_(new QTimer(this)),
      earlyCheck_(new QTimer(this)) {
  setObjectName(QStringLiteral("frmMain"));
  mnuTray_->setObjectName(QStringLiteral("mnuTray"));
  tmCheckIp_->setObjectName(QStringLiteral("tmCheckIp"));
  tmCheckIp_->setInterval(kWatchIntervalMs);
  earlyCheck_->setObjectName(QStringLiteral("tmEarlyCheck"));
  earlyCheck_->setSingleShot(true);
  InitTrayIcons();
  images_[0] = TrayImageIcon("colour");
  images_[1] = TrayImageIcon("grey");
  // Until the windows exist, each is a stand-in that closes at once; the settings stand-in
  // unloads as the dialog will, so a start-up waiting for it goes on.
  showWindow_ = [this](Window window) {
    if (window == Window::Settings && state_ != nullptr) state_->setupWaiting = false;
  };
  unloadWindow_ = [](Window) {};
}

frmMain::~frmMain() = default;

QAction* frmMain::AddItem(const char* name, const char* caption,
                          std::function<void(Shell&)> handler) {
  QAction* item = mnuTray_->addAction(QString::fromUtf8(caption));
  item->setObjectName(QLatin1String(name));
  connect(item, &QAction::triggered, this, [this, handler = std::move(handler)] {
    if (shell_ != nullptr) shell_->Guarded([this, &handler] { handler(*shell_); });
  });
  return item;
}

void frmMain::Attach(Shell& shell, ProgramState& state) {
  shell_ = &shell;
  state_ = &state;
  AddItem("mnuTrayLog", "日志记录", &Shell::ShowLog);
  AddItem("mnuTrayUpdate", "升级软件", &Shell::OpenUpgradePage);
  AddItem("mnuTrayFlush", "刷新解析", [](Shell& s) { s.Refresh(); });
  AddItem("mnuTrayStop", "停止解析", [](Shell& s) { s.Stop(); });
  AddItem("mnuTraySetup", "参数设置", &Shell::ShowSettings);
  mnuTray_->addSeparator()->setObjectName(QStringLiteral("menuTrayLine"));
  AddItem("mnuTrayHelp", "帮助", &Shell::OpenHelpPage);
  AddItem("mnuTrayAbout", "关于", &Shell::ShowAbout);
  mnuTrayQuit_ = AddItem("mnuTrayQuit", "退出", &Shell::Quit);
  connect(tmCheckIp_, &QTimer::timeout, this,
          [this] { shell_->Guarded([this] { shell_->OnWatchTick(); }); });
  connect(earlyCheck_, &QTimer::timeout, this, [this] {
    shell_->Guarded(
        [this] { ArmEarlyCheck(shell_->RunEarlyCheck(std::chrono::steady_clock::now())); });
  });
}

void frmMain::WatchAddresses(platform::AddressWatch& watch) {
  if (watch.waitable() == platform::kNoWaitable) return;
  auto* notifier = new QSocketNotifier(watch.waitable(), QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this, &watch] {
    if (!watch.TakeChanges()) return;
    shell_->Guarded(
        [this] { ArmEarlyCheck(shell_->AddressesChanged(std::chrono::steady_clock::now())); });
  });
}

void frmMain::ArmEarlyCheck(std::optional<std::chrono::steady_clock::time_point> due) {
  if (due) earlyCheck_->start(EarlyCheck::Until(*due));
}

void frmMain::SetWindowHandlers(WindowOpener show, WindowOpener unload) {
  showWindow_ = std::move(show);
  unloadWindow_ = std::move(unload);
}

void frmMain::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) {
  const QMessageBox::Icon kind = icon == MessageIcon::Critical  ? QMessageBox::Critical
                                 : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                : QMessageBox::Information;
  QMessageBox box(kind, Text(title), Text(text), QMessageBox::Ok);
  box.exec();
}

void frmMain::EndProcess() { std::_Exit(0); }

void frmMain::SendTrayRequest(TrayRequest request, const TrayRecord& record) {
  switch (request) {
    case TrayRequest::Add:
    case TrayRequest::Modify:
      trayIcon_->setIcon(images_[static_cast<int>(record.image)]);
      trayIcon_->setToolTip(Text(record.tip));
      // A tray that is not there yet (early at login) shows the icon once it appears.
      if (request == TrayRequest::Add) trayIcon_->show();
      break;
    case TrayRequest::Delete:
      trayIcon_->hide();
      break;
  }
}

void frmMain::InstallTrayHook() {
  trayIcon_->setContextMenu(mnuTray_);  // right-click opens the menu
  hook_ = connect(trayIcon_, &QSystemTrayIcon::activated, this, &frmMain::OnActivated);
}

void frmMain::RemoveTrayHook() {
  disconnect(hook_);
  trayIcon_->setContextMenu(nullptr);
}

void frmMain::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  // A double-click arrives after a single-click Trigger: only the double-click acts.
  if (reason == QSystemTrayIcon::DoubleClick && shell_ != nullptr) {
    shell_->Guarded([this] { shell_->ShowSettings(); });
  }
}

void frmMain::SetQuitEnabled(bool enabled) {
  if (mnuTrayQuit_ != nullptr) mnuTrayQuit_->setEnabled(enabled);
}

void frmMain::SetWatchTimer(bool enabled) {
  if (enabled && !tmCheckIp_->isActive()) tmCheckIp_->start();
  // A change of the machine's addresses during the start-up is checked now.
  if (enabled && shell_ != nullptr) ArmEarlyCheck(shell_->EarlyCheckDue());
  if (!enabled) tmCheckIp_->stop();
}

void frmMain::ShowWindow(Window window) {
  emit windowRequested(window);
  showWindow_(window);
}

void frmMain::UnloadWindow(Window window) { unloadWindow_(window); }

void frmMain::UnloadMain() { QCoreApplication::quit(); }

void frmMain::ProcessEvents() { QCoreApplication::processEvents(); }

void frmMain::WaitForEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void frmMain::OpenWebPage(const std::string& url) {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace quorvix
