#include "ui/win32/layouts.h"

#include "ui/setup/setup_dialog.h"

namespace quorvix::win32 {
namespace {

using enum ControlKind;

constexpr ControlLayout kSetupControls[] = {
    {kStrDomain, Edit, "", 1200, 600, 2535, 375},
    {kPassword, Edit, "", 1200, 1200, 2535, 375},
    {kCmdNew, Button, "添加(&A)", 1200, 1800, 975, 375},
    {kDomainList, List, "", 360, 2880, 3735, 2220},
    {kCmdDel, Button, "删除(&D)", 2760, 1800, 975, 375},
    {kCmdOkay, Button, "确定(&O)", 720, 7200, 1455, 375},
    {kChkAutoRun, Check, "随系统自动启动程序", 840, 5760, 2775, 255},
    {kChkMX, Check, "解析域名的MX邮件记录", 840, 6120, 2535, 255},
    {kCmdCancel, Button, "取消(&C)", 2520, 7200, 1335, 375},
    {kChkLogVerbose, Check, "记录详细日志", 840, 6480, 2175, 255},
    {kLabel1, Label, "域名:", 480, 720, 615, 255},
    {kLabel2, Label, "密码:", 480, 1320, 615, 375},
    {kFrame1, Group, "添加新域名:", 240, 240, 3975, 2055},
    {kFrame2, Group, "域名列表:", 240, 2520, 3975, 2775},
    {kFrame3, Group, "其它参数:", 240, 5520, 3975, 1455},
};

constexpr ControlLayout kViewLogControls[] = {
    {kTxtLog, LogBox, "", 120, 120, 7575, 4335},
    {kLogOk, Button, "确定(&O)", 4440, 4680, 1575, 375},
    {kLogClear, Button, "清除(&C)", 1920, 4680, 1575, 375},
};

// The picture comes first in the keyboard order but takes no focus; the line is one pixel
// high at 96 dpi.
constexpr ControlLayout kAboutControls[] = {
    {kPicture1, Picture, "", 240, 120, 495, 495},
    {kAboutOk, Button, "确定(&O)", 3840, 2280, 1095, 375},
    {kLblInfo, Label, "", 1080, 120, 3855, 1455},
    {kLink, Link, "", 960, 1800, 4215, 255},
    {kLine1, Line, "", 0, 2160, 5160, 15},
};

}  // namespace

const FormLayout kSetupForm{kSetupTitle.data(), 4500, 7785, kSetupControls};
const FormLayout kViewLogForm{"日志查看", 7800, 5145, kViewLogControls};
const FormLayout kAboutForm{"Form1", 5235, 2700, kAboutControls};

int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>((scaled >= 0 ? scaled + 720 : scaled - 720) / 1440);
}

}  // namespace quorvix::win32
