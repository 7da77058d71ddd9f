// quorvixDDNS.exe: the tray program with native Windows views.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/address_watch.h"
#include "platform/clock.h"
#include "platform/instance_lock.h"
#include "shell/client_core.h"
#include "ui/win32/frm_main.h"
#include "ui/win32/message_loop.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/window_set.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  quorvix::ClientSetup setup = quorvix::ClientSetup::ForThisMachine();
#ifdef QUORVIX_TEST_SEAMS
  // Only the test build: the service on loopback at the port the test gives.
  if (const char* port = std::getenv("QUORVIX_TEST_PORT")) {
    setup.endpoints.port = static_cast<std::uint16_t>(std::atoi(port));
    setup.lookup = [](const std::string&) { return std::vector<std::string>{"127.0.0.1"}; };
  }
#endif
  const quorvix::platform::InstanceLock instance_lock(setup.lockName);
  quorvix::platform::SystemClock clock;
  quorvix::win32::frmMain main;
  quorvix::ClientCore core(main, clock, std::move(setup));
  main.Attach(core.shell, core.state);
  const std::unique_ptr<quorvix::platform::AddressWatch> addresses =
      quorvix::platform::OpenAddressWatch();
  main.WatchAddresses(*addresses);
  const HICON emblem = ::LoadIconW(instance, MAKEINTRESOURCEW(QUORVIX_ICON_COLOUR));
  quorvix::win32::WindowSet windows(core.services(), core.shell, main, emblem);
  main.SetWindowHandlers([&](quorvix::Window window) { windows.Show(window); },
                         [&](quorvix::Window window) { windows.Unload(window); });
  core.shell.Guarded([&] { core.shell.RunStartup(instance_lock.previousInstance()); });
  return quorvix::win32::RunMessageLoop(addresses->waitable(),
                                        [&main] { main.TakeAddressChanges(); });
}
