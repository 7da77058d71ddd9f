#include "shell/tray_status.h"

#include <algorithm>
#include <string>

namespace quorvix {

void TrayStatus::AddTrayIcon() {
  desktop_.InstallTrayHook();
  trayIconData_.flags = TrayRecord::kFlagsValid;
  trayIconData_.image = TrayImage::Grey;
  trayIconData_.tip = kTipConnecting;
  desktop_.SendTrayRequest(TrayRequest::Add, trayIconData_);
}

void TrayStatus::RemoveTrayIcon() {
  desktop_.RemoveTrayHook();
  trayIconData_.flags = 0;
  desktop_.SendTrayRequest(TrayRequest::Delete, trayIconData_);
}

void TrayStatus::SetTrayTip(std::string_view tip) {
  trayIconData_.tip = tip;
  desktop_.SendTrayRequest(TrayRequest::Modify, trayIconData_);
}

void TrayStatus::SetTrayIcon(TrayImage image) {
  trayIconData_.image = image;
  desktop_.SendTrayRequest(TrayRequest::Modify, trayIconData_);
}

void TrayStatus::Stop_Connect_status(bool ok, int failedDomains) {
  SetTrayIcon(ok ? TrayImage::Colour : TrayImage::Grey);
  if (ok && failedDomains > 0) {
    // At most 7 digits: "解析成功," + count + "个域名失败" stays within the tip's 63 bytes.
    SetTrayTip(std::string(kTipSucceeded) + "," + std::to_string(std::min(failedDomains, 9999999)) +
               std::string(kTipSomeFailed));
  } else {
    SetTrayTip(ok ? kTipSucceeded : kTipFailed);
  }
}

void TrayStatus::Start_Connect_status() { SetTrayTip(kTipConnecting); }

}  // namespace quorvix
