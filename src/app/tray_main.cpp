// quorvixDDNS: the tray program.
#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <iostream>
#include <memory>
#include <string_view>

#include "base/program_identity.h"
#include "platform/address_watch.h"
#include "platform/clock.h"
#include "platform/instance_lock.h"
#include "shell/client_core.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/window_set.h"

int main(int argc, char** argv) {
  // The program takes no arguments; --version alone is answered, for installers and scripts.
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::cout << "quorvixDDNS " << quorvix::VersionText() << "\n";
    return 0;
  }
  QApplication app(argc, argv);
  // The program lives in the tray: closing its last window must not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("quorvixDDNS"));
  // Chinese text at the size the windows were laid out for.
  QFont font = QApplication::font();
  font.setFamilies(
      {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setPointSize(9);
  QApplication::setFont(font);
  // Every text is Chinese, Qt's own buttons included.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                   QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }

  quorvix::ClientSetup setup = quorvix::ClientSetup::ForThisMachine();
  // The headless client's run takes the same lock: one client per configuration.
  const quorvix::platform::InstanceLock instance(setup.lockName);
  quorvix::platform::SystemClock clock;
  quorvix::frmMain main;
  quorvix::ClientCore core(main, clock, std::move(setup));
  main.Attach(core.shell, core.state);
  const std::unique_ptr<quorvix::platform::AddressWatch> addresses =
      quorvix::platform::OpenAddressWatch();
  main.WatchAddresses(*addresses);
  quorvix::WindowSet windows(core.services(), core.shell, main);
  main.SetWindowHandlers([&](quorvix::Window window) { windows.Show(window); },
                         [&](quorvix::Window window) { windows.Unload(window); });
  core.shell.Guarded([&] { core.shell.RunStartup(instance.previousInstance()); });
  return QApplication::exec();
}
