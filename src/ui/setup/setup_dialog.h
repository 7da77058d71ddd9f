// The settings dialog's logic: editing the domain list (add, delete, take back), the options,
// and saving on OK, over a toolkit-free view of its controls.
#pragma once

#include <string>
#include <string_view>

#include "base/desktop.h"
#include "shell/shell.h"
#include "ui/setup/setup_view.h"

namespace quorvix {

// The domain whose www message shows: "www." + kExampleDomain, then the name alone.
inline constexpr std::string_view kExampleDomain = "myhome.com";

// The dialog's title: the product's display name, then "动态域名解析系统".
inline constexpr std::string_view kSetupTitle = "quorvixDDNS动态域名解析系统";

// Shown when OK could not save every setting; the dialog stays open.
inline constexpr std::string_view kSaveFailedText =
    "保存设置失败,设置没有全部保存,请检查是否有权限写入设置";

// Lists of this many characters or more are refused on OK.
inline constexpr std::size_t kMaxListCharacters = 1000;

class SetupDialog {
 public:
  // All references must outlive the dialog.
  SetupDialog(SetupView& view, ShellServices services, Shell& shell);

  // Events of the dialog.
  void Load();
  void AutoRunClicked() { autoRunChanged_ = true; }
  void Add();       // cmdNew
  void Delete();    // cmdDel
  void TakeBack();  // double-click of domainList
  void Ok();        // cmdOkay
  void Cancel();    // cmdCancel: closes without saving
  void Unload();    // every close

  // The menu.
  void MenuRefresh() { shell_.Refresh(); }
  void MenuStop() { shell_.Stop(); }
  void MenuQuit() { shell_.QuitAtOnce(); }
  void MenuLog() { s_.desktop.ShowWindow(Window::LogViewer); }
  void MenuAbout() { s_.desktop.ShowWindow(Window::About); }
  void MenuUpgrade();
  void MenuHelp();
  void MenuBuy();

  const std::string& domainString() const { return domainString_; }
  bool domainsChanged() const { return domainsChanged_; }
  bool autoRunChanged() const { return autoRunChanged_; }

 private:
  void Refuse(std::string_view message, void (SetupView::*focus)());
  void Warn(std::string_view message, std::string_view title);

  SetupView& view_;
  ShellServices s_;
  Shell& shell_;
  std::string domainString_;
  bool domainsChanged_ = false;
  bool autoRunChanged_ = false;
};

// The message of the www refusal.
std::string WwwMessage();

// How many bytes the list takes in the store's own encoding.
std::size_t StoredSize(std::string_view list);

}  // namespace quorvix
