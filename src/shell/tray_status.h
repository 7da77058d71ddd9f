// The notification icon and what it shows: grey "正在连接" while connecting, the coloured
// emblem with "解析成功" after a successful update, grey "解析失败/停止" after a failure or a stop.
#pragma once

#include <string_view>

#include "base/desktop.h"

namespace quorvix {

inline constexpr std::string_view kTipConnecting = "正在连接";
inline constexpr std::string_view kTipSucceeded = "解析成功";
inline constexpr std::string_view kTipFailed = "解析失败/停止";
inline constexpr std::string_view kTipSomeFailed = "个域名失败";  // after "解析成功," and a count

class TrayStatus {
 public:
  explicit TrayStatus(Desktop& desktop) : desktop_(desktop) {}

  // Installs the hook, then adds the grey icon with "正在连接".
  void AddTrayIcon();
  // Removes the hook, then deletes the icon.
  void RemoveTrayIcon();
  // Replace one field and send a modify request with the whole record.
  void SetTrayTip(std::string_view tip);
  void SetTrayIcon(TrayImage image);
  // The success or failure state: the image first, then the tip (two modify requests). A
  // success with failed domains says how many: "解析成功,2个域名失败".
  void Stop_Connect_status(bool ok, int failedDomains = 0);
  // "正在连接" as the tip; the image stays.
  void Start_Connect_status();

  const TrayRecord& record() const { return trayIconData_; }

 private:
  Desktop& desktop_;
  TrayRecord trayIconData_;
};

}  // namespace quorvix
