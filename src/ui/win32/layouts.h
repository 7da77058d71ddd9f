// The three windows' controls at the positions the forms were laid out with, in twips
// (1/1440 inch: 15 to the pixel at 96 dpi), measured in the client area.
#pragma once

#include <span>

namespace quorvix::win32 {

enum class ControlKind { Group, Label, Edit, Button, List, Check, LogBox, Picture, Link, Line };

struct ControlLayout {
  int id;
  ControlKind kind;
  const char* caption;  // UTF-8
  int left, top, width, height;
};

// Controls are listed in keyboard order; those the keyboard skips come last, so that they lie
// below the others and the group boxes do not hide what they frame.
struct FormLayout {
  const char* title;  // UTF-8
  int clientWidth, clientHeight;
  std::span<const ControlLayout> controls;
};

// Control and menu ids. None is 1 or 2: Enter and Esc send those, and no button of ours is the
// default or the cancel button.
enum ControlId : int {
  kStrDomain = 100,
  kPassword,
  kCmdNew,
  kDomainList,
  kCmdDel,
  kCmdOkay,
  kChkAutoRun,
  kChkMX,
  kCmdCancel,
  kChkLogVerbose,
  kLabel1,
  kLabel2,
  kFrame1,
  kFrame2,
  kFrame3,
  kTxtLog = 200,
  kLogOk,
  kLogClear,
  kPicture1 = 300,
  kAboutOk,
  kLblInfo,
  kLink,
  kLine1,
};

enum MenuId : int {
  kMnuFresh = 400,
  kMnuStop,
  kMnuQuit,
  kMnuLog,
  kMnuUpdate,
  kMnuHelp,
  kMnubuy,
  kMnuAbout,
};

extern const FormLayout kSetupForm;
extern const FormLayout kViewLogForm;
extern const FormLayout kAboutForm;

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);

}  // namespace quorvix::win32
