#include "ui/win32/frm_setup.h"

#include <string>
#include <utility>

#include "platform/win32_text.h"

namespace quorvix::win32 {
namespace {

// The menu bar: top-level menus with their access keys, and their items.
HMENU CreateSetupMenu() {
  struct Item {
    int id;  // 0: a separator
    const char* caption;
  };
  struct Menu {
    const char* caption;
    std::initializer_list<Item> items;
  };
  const Menu menus[] = {
      {"解析(&F)", {{kMnuFresh, "刷新解析"}, {kMnuStop, "停止解析"}, {0, "-"}, {kMnuQuit, "退出"}}},
      {"日志(&L)", {{kMnuLog, "日志记录"}}},
      {"升级(&U)", {{kMnuUpdate, "升级软件"}}},
      {"帮助(&H)", {{kMnuHelp, "帮助"}, {kMnubuy, "购买"}, {kMnuAbout, "关于"}}},
  };
  const HMENU bar = ::CreateMenu();
  for (const Menu& menu : menus) {
    const HMENU popup = ::CreatePopupMenu();
    for (const Item& item : menu.items) {
      if (item.id == 0) {
        ::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      } else {
        ::AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.id),
                      platform::Widen(item.caption).c_str());
      }
    }
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                  platform::Widen(menu.caption).c_str());
  }
  return bar;
}

void SetText(HWND control, const std::string& text) {
  ::SetWindowTextW(control, platform::Widen(text).c_str());
}

}  // namespace

std::string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return platform::Narrow(text);
}

frmSetup::frmSetup(ShellServices services, Shell& shell, HICON icon)
    : shell_(shell), logic_(*this, services, shell) {
  if (!Create(kSetupForm, CreateSetupMenu(), icon)) return;
  shell_.Guarded([this] { logic_.Load(); });
  if (hwnd() == nullptr) return;
  ShowForward();
  FocusDomain();
}

frmSetup::~frmSetup() { Close(); }

std::string frmSetup::DomainText() const { return WindowText(Control(kStrDomain)); }
void frmSetup::SetDomainText(const std::string& text) { SetText(Control(kStrDomain), text); }
std::string frmSetup::PasswordText() const { return WindowText(Control(kPassword)); }
void frmSetup::SetPasswordText(const std::string& text) { SetText(Control(kPassword), text); }
void frmSetup::FocusDomain() { ::SetFocus(Control(kStrDomain)); }
void frmSetup::FocusPassword() { ::SetFocus(Control(kPassword)); }

int frmSetup::ItemCount() const {
  return static_cast<int>(::SendMessageW(Control(kDomainList), LB_GETCOUNT, 0, 0));
}

std::string frmSetup::ItemText(int index) const {
  const HWND list = Control(kDomainList);
  const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                                      reinterpret_cast<LPARAM>(text.data()))));
  return platform::Narrow(text);
}

int frmSetup::SelectedIndex() const {
  const LRESULT index = ::SendMessageW(Control(kDomainList), LB_GETCURSEL, 0, 0);
  return index == LB_ERR ? -1 : static_cast<int>(index);
}

void frmSetup::AddItem(const std::string& text) {
  ::SendMessageW(Control(kDomainList), LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(platform::Widen(text).c_str()));
}

void frmSetup::RemoveItem(int index) {
  const HWND list = Control(kDomainList);
  ::SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  // Nothing stays selected, or a second 删除 would delete a neighbour.
  ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void frmSetup::SetOptions(bool autoRun, bool mx, bool logVerbose) {
  const std::pair<int, bool> boxes[] = {
      {kChkAutoRun, autoRun}, {kChkMX, mx}, {kChkLogVerbose, logVerbose}};
  for (const auto& [id, checked] : boxes) {
    ::SendMessageW(Control(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

bool frmSetup::AutoRunChecked() const {
  return ::SendMessageW(Control(kChkAutoRun), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
bool frmSetup::MXChecked() const {
  return ::SendMessageW(Control(kChkMX), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
bool frmSetup::LogVerboseChecked() const {
  return ::SendMessageW(Control(kChkLogVerbose), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void frmSetup::CloseDialog() { Close(); }

void frmSetup::OnCommand(int id, int code) {
  using Handler = void (SetupDialog::*)();
  Handler handler = nullptr;
  switch (id) {
    case kCmdNew:
      handler = &SetupDialog::Add;
      break;
    case kCmdDel:
      handler = &SetupDialog::Delete;
      break;
    case kCmdOkay:
      handler = &SetupDialog::Ok;
      break;
    case kCmdCancel:
      handler = &SetupDialog::Cancel;
      break;
    case kChkAutoRun:
      handler = &SetupDialog::AutoRunClicked;
      break;
    case kDomainList:
      if (code == LBN_DBLCLK) handler = &SetupDialog::TakeBack;
      break;
    case kMnuFresh:
      handler = &SetupDialog::MenuRefresh;
      break;
    case kMnuStop:
      handler = &SetupDialog::MenuStop;
      break;
    case kMnuQuit:
      handler = &SetupDialog::MenuQuit;
      break;
    case kMnuLog:
      handler = &SetupDialog::MenuLog;
      break;
    case kMnuUpdate:
      handler = &SetupDialog::MenuUpgrade;
      break;
    case kMnuHelp:
      handler = &SetupDialog::MenuHelp;
      break;
    case kMnubuy:
      handler = &SetupDialog::MenuBuy;
      break;
    case kMnuAbout:
      handler = &SetupDialog::MenuAbout;
      break;
    default:
      break;  // Enter and Esc (ids 1 and 2) press nothing
  }
  // Buttons and boxes act on their click; the list only on its double-click.
  if (handler != nullptr && (id == kDomainList || code == BN_CLICKED)) {
    shell_.Guarded([this, handler] { (logic_.*handler)(); });
  }
}

void frmSetup::OnDestroy() {
  shell_.Guarded([this] { logic_.Unload(); });
}

}  // namespace quorvix::win32
