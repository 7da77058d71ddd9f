// The tray program's windows read back from the real windows, in-process, under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/settings_backend_win32.h"
#include "platform/win32_text.h"
#include "shell/client_core.h"
#include "support/temp_dir.h"
#include "ui/win32/frm_main.h"
#include "ui/win32/message_loop.h"
#include "ui/win32/window_set.h"
#include "ui/windows/about.h"

namespace quorvix::win32 {
namespace {

// A control as laid out: its name, class, text and rectangle in twips.
struct Expected {
  const char *name, *type, *text;
  int left, top, width, height;
};

std::vector<HWND> Children(HWND form) {
  std::vector<HWND> children;
  for (HWND c = ::GetWindow(form, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  return children;
}

std::string MenuText(HMENU menu) {
  std::string text;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t caption[64] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(i), caption, 64, MF_BYPOSITION);
    text += (i > 0 ? "|" : "") + (caption[0] != 0 ? platform::Narrow(caption) : "-");
    if (const HMENU sub = ::GetSubMenu(menu, i)) text += "[" + MenuText(sub) + "]";
  }
  return text;
}

class Win32Windows : public ::testing::Test {
 protected:
  Win32Windows() { main_.Attach(core_.shell, core_.state); }
  ~Win32Windows() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }

  ClientSetup Setup() const {
    ClientSetup setup;
    setup.backend = std::make_unique<platform::RegistrySettingsBackend>(hives_);
    setup.logFilePath = log_;
    return setup;
  }

  int Px(int twips) const { return static_cast<int>(std::lround(twips * dpi_ / 1440.0)); }

  // Classes, texts, rectangles and fonts in creation order, the client size and the title.
  void ExpectLayout(HWND form, const FormLayout& layout, const char* title, int width, int height,
                    const std::vector<Expected>& controls) {
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(layout.controls.size(), controls.size());
    EXPECT_EQ(WindowText(form), title);
    RECT client{};
    ::GetClientRect(form, &client);
    EXPECT_EQ((std::vector<LONG>{client.right, client.bottom}),
              (std::vector<LONG>{Px(width), Px(height)}));
    EXPECT_EQ(::GetWindowLongW(form, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
              0);
    const std::vector<HWND> children = Children(form);
    ASSERT_EQ(children.size(), controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
      const Expected& e = controls[i];
      const ControlLayout& c = layout.controls[i];  // exact twips, below a pixel's 15
      EXPECT_EQ((std::vector{c.left, c.top, c.width, c.height}),
                (std::vector{e.left, e.top, e.width, e.height}))
          << e.name;
      wchar_t type[32] = {};
      ::GetClassNameW(children[i], type, 32);
      EXPECT_EQ(platform::Narrow(::CharUpperW(type)) + " " + WindowText(children[i]),
                std::string(e.type) + " " + e.text);
      RECT r{};
      ::GetWindowRect(children[i], &r);
      ::MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&r), 2);
      EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                (std::vector<LONG>{Px(e.left), Px(e.top), Px(e.width), Px(e.height)}))
          << e.name;
      const bool button = std::string(e.type) == "BUTTON";  // none is the default button
      EXPECT_FALSE(button &&
                   (::GetWindowLongW(children[i], GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
          << e.name;
      if (e.name == std::string("Picture1") || e.name == std::string("Line1")) continue;  // no text
      LOGFONTW font{};
      ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(children[i], WM_GETFONT, 0, 0)),
                   sizeof font, &font);
      EXPECT_EQ(platform::Narrow(font.lfFaceName) + " " + std::to_string(font.lfCharSet) + " " +
                    std::to_string(font.lfHeight),
                "宋体 134 " + std::to_string(-::MulDiv(9, dpi_, 72)))
          << e.name;
    }
  }

  // The names of the controls that Tab visits, from the first one round to it again.
  std::string TabOrder(HWND form, const std::vector<Expected>& controls) {
    const std::vector<HWND> children = Children(form);
    std::string order;
    for (HWND at = ::GetNextDlgTabItem(form, nullptr, FALSE), first = at; at != nullptr;) {
      const auto found = std::find(children.begin(), children.end(), at);
      order += std::string(order.empty() ? "" : " ") + controls[found - children.begin()].name;
      if ((at = ::GetNextDlgTabItem(form, at, FALSE)) == first) break;
    }
    return order;
  }

  const std::string base_ =
      "SOFTWARE\\QuorvixDDNS-layout-" + std::to_string(::GetCurrentProcessId());
  platform::RegistryHives hives_{HKEY_CURRENT_USER, base_ + "\\Program", base_ + "\\Run"};
  quorvix::testing::TempDir dir_;
  const std::string log_ = dir_ / "quorvixDDNS.log";
  platform::SystemClock clock_;
  frmMain main_;
  ClientCore core_{main_, clock_, Setup()};
  WindowSet windows_{core_.services(), core_.shell, main_, nullptr};
  const int dpi_ = ScreenDpi();
};

const std::vector<Expected> kSetup = {
    {"strDomain", "EDIT", "", 1200, 600, 2535, 375},
    {"Password", "EDIT", "", 1200, 1200, 2535, 375},
    {"cmdNew", "BUTTON", "添加(&A)", 1200, 1800, 975, 375},
    {"domainList", "LISTBOX", "", 360, 2880, 3735, 2220},
    {"cmdDel", "BUTTON", "删除(&D)", 2760, 1800, 975, 375},
    {"cmdOkay", "BUTTON", "确定(&O)", 720, 7200, 1455, 375},
    {"chkAutoRun", "BUTTON", "随系统自动启动程序", 840, 5760, 2775, 255},
    {"chkMX", "BUTTON", "解析域名的MX邮件记录", 840, 6120, 2535, 255},
    {"cmdCancel", "BUTTON", "取消(&C)", 2520, 7200, 1335, 375},
    {"chkLogVerbose", "BUTTON", "记录详细日志", 840, 6480, 2175, 255},
    {"Label1", "STATIC", "域名:", 480, 720, 615, 255},
    {"Label2", "STATIC", "密码:", 480, 1320, 615, 375},
    {"Frame1", "BUTTON", "添加新域名:", 240, 240, 3975, 2055},
    {"Frame2", "BUTTON", "域名列表:", 240, 2520, 3975, 2775},
    {"Frame3", "BUTTON", "其它参数:", 240, 5520, 3975, 1455}};

TEST_F(Win32Windows, SettingsDialogLayoutKeysMenuAndList) {
  windows_.Show(Window::Settings);
  frmSetup* setup = windows_.setup();
  ASSERT_NE(setup, nullptr);
  const HWND form = setup->hwnd();
  ExpectLayout(form, kSetupForm, "quorvixDDNS动态域名解析系统", 4500, 7785, kSetup);
  EXPECT_EQ(TabOrder(form, kSetup),
            "strDomain Password cmdNew domainList cmdDel cmdOkay chkAutoRun chkMX cmdCancel "
            "chkLogVerbose");
  EXPECT_EQ(::GetFocus(), Children(form)[0]);
  EXPECT_EQ(MenuText(::GetMenu(form)),
            "解析(&F)[刷新解析|停止解析|-|退出]|日志(&L)[日志记录]|升级(&U)[升级软件]|"
            "帮助(&H)[帮助|购买|关于]");
  // Enter and Esc press no button: the dialog stays open.
  for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 0);
    ProcessPendingMessages();
    EXPECT_EQ(windows_.setup(), setup) << key;
  }
  // 添加 and the list's double-click reach the logic: two domains in, the first taken back.
  for (const char* domain : {"a.example.com", "b.example.com"}) {
    setup->SetDomainText(domain);
    setup->SetPasswordText("pw");
    ::SendMessageW(Children(form)[2], BM_CLICK, 0, 0);
  }
  const HWND list = Children(form)[3];
  ::SendMessageW(list, LB_SETCURSEL, 0, 0);
  ::SendMessageW(form, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
  EXPECT_EQ(setup->DomainText() + " " + setup->ItemText(0), "a.example.com b.example.com");
  EXPECT_EQ((std::vector{setup->ItemCount(), setup->SelectedIndex()}), (std::vector{1, -1}));
  setup->SetOptions(true, false, true);
  EXPECT_EQ((std::vector{setup->AutoRunChecked(), setup->MXChecked(), setup->LogVerboseChecked()}),
            (std::vector{true, false, true}));
  // One dialog: shown again while open it is the same window; closed, it unloads.
  core_.state.setupWaiting = true;
  windows_.Show(Window::Settings);
  EXPECT_EQ(windows_.setup(), setup);
  windows_.Unload(Window::Settings);
  EXPECT_EQ(windows_.setup(), nullptr);
  EXPECT_FALSE(core_.state.setupWaiting);
}

class LogViewerScroll : public Win32Windows, public ::testing::WithParamInterface<int> {};

TEST_P(LogViewerScroll, ShowsEveryLineScrolledToTheNewest) {
  const int lines = GetParam();
  std::string file;
  for (int i = 0; i < lines; ++i) file += "2026-12-7 1:00:00\tline " + std::to_string(i) + "\r\n";
  if (lines >= 0) quorvix::testing::WriteFile(log_, file);
  windows_.Show(Window::LogViewer);
  ASSERT_NE(windows_.logViewer(), nullptr);
  const HWND form = windows_.logViewer()->hwnd();
  ExpectLayout(form, kViewLogForm, "日志查看", 7800, 5145,
               {{"txtLog", "EDIT", file.c_str(), 120, 120, 7575, 4335},
                {"Command1", "BUTTON", "确定(&O)", 4440, 4680, 1575, 375},
                {"Command2", "BUTTON", "清除(&C)", 1920, 4680, 1575, 375}});
  EXPECT_EQ(windows_.logViewer()->firstVisibleLine(), lines > 23 ? lines - 23 : 0);
  ::SendMessageW(Children(form)[2], BM_CLICK, 0, 0);  // 清除
  EXPECT_EQ(WindowText(Children(form)[0]), "");
  EXPECT_FALSE(quorvix::testing::FileExists(log_));
}

// -1: no file. 3000 lines hold far more than the box's default 32,767 characters.
INSTANTIATE_TEST_SUITE_P(Lines, LogViewerScroll, ::testing::Values(-1, 0, 23, 24, 100, 3000));

TEST_F(Win32Windows, AboutBoxLinkAndTrayMenu) {
  windows_.Show(Window::About);
  const HWND form = windows_.about()->hwnd();
  ExpectLayout(form, kAboutForm, "Form1", 5235, 2700,
               {{"Picture1", "STATIC", "", 240, 120, 495, 495},
                {"Command1", "BUTTON", "确定(&O)", 3840, 2280, 1095, 375},
                {"lblInfo", "STATIC", AboutText().c_str(), 1080, 120, 3855, 1455},
                {"Label2", "STATIC", WebSiteAddress().c_str(), 960, 1800, 4215, 255},
                {"Line1", "STATIC", "", 0, 2160, 5160, 15}});
  // The link is blue and underlined; the other labels keep the text colour.
  const std::vector<HWND> children = Children(form);
  const HDC dc = ::GetDC(form);
  for (const int index : {2, 3}) {
    ::SendMessageW(form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(children[index]));
    EXPECT_EQ(::GetTextColor(dc) == RGB(0, 0, 255), index == 3) << index;
  }
  ::ReleaseDC(form, dc);
  LOGFONTW link{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(children[3], WM_GETFONT, 0, 0)), sizeof link,
               &link);
  EXPECT_TRUE(link.lfUnderline);
  EXPECT_TRUE(::SendMessageW(form, WM_SETCURSOR, reinterpret_cast<WPARAM>(children[3]), HTCLIENT));
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
  windows_.Show(Window::About);
  EXPECT_EQ(windows_.about()->hwnd(), form);
  ::SendMessageW(children[1], BM_CLICK, 0, 0);  // 确定 closes it
  EXPECT_EQ(windows_.about(), nullptr);

  EXPECT_EQ(MenuText(main_.trayMenu()),
            "日志记录|升级软件|刷新解析|停止解析|参数设置|-|帮助|关于|退出");
  main_.SetQuitEnabled(false);
  EXPECT_TRUE(::GetMenuState(main_.trayMenu(), kMnuTrayQuit, MF_BYCOMMAND) & MF_GRAYED);
  // A disabled Quit sent from outside is ignored too.
  ::SendMessageW(main_.hwnd(), WM_COMMAND, kMnuTrayQuit, 0);
  EXPECT_TRUE(::IsWindow(main_.hwnd()));
  // The hook replaces the window procedure and puts the same one back.
  const LONG_PTR before = ::GetWindowLongPtrA(main_.hwnd(), GWLP_WNDPROC);
  main_.InstallTrayHook();
  EXPECT_NE(::GetWindowLongPtrA(main_.hwnd(), GWLP_WNDPROC), before);
  main_.RemoveTrayHook();
  EXPECT_EQ(::GetWindowLongPtrA(main_.hwnd(), GWLP_WNDPROC), before);
  // A new taskbar (Explorer restarted) gets the icon again; after a delete, it does not.
  main_.SendTrayRequest(TrayRequest::Add, {TrayRecord::kFlagsValid, TrayImage::Grey, "正在连接"});
  NOTIFYICONDATAA icon{};
  icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  icon.hWnd = main_.hwnd();
  icon.uID = TrayRecord::kIconId;
  for (const bool deleted : {false, true}) {
    ::Shell_NotifyIconA(NIM_DELETE, &icon);  // the old taskbar's icons are gone
    if (deleted) main_.SendTrayRequest(TrayRequest::Delete, {});
    ::SendMessageW(main_.hwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(::Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE, !deleted) << deleted;
  }
}

}  // namespace
}  // namespace quorvix::win32
