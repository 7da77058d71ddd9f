#include "ui/qt/frm_view_log.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

#include "ui/qt/place_window.h"
#include "ui/qt/qt_text.h"
#include "ui/windows/log_viewer.h"
#include "ui_frmViewLog.h"

namespace quorvix {

frmViewLog::frmViewLog(ShellServices services, Shell& shell, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmViewLog>()), s_(services), shell_(shell) {
  ui_->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(size());
  PlaceInTheMiddle(*this);
  const LogSnapshot snapshot = ReadLogSnapshot(s_.state.logFilePath);
  if (!snapshot.error.empty()) {
    s_.desktop.ShowMessage("无法读取日志文件:" + snapshot.error, "出错信息", MessageIcon::Warning);
  }
  // Tab stops every eight characters, as in the system's own edit boxes.
  ui_->txtLog->setTabStopDistance(ui_->txtLog->fontMetrics().horizontalAdvance(QLatin1Char(' ')) *
                                  8);
  ui_->txtLog->setPlainText(Qt8(snapshot.text));
  lines_ = snapshot.lines;
  connect(ui_->Command1, &QPushButton::clicked, this, &QDialog::close);
  connect(ui_->Command2, &QPushButton::clicked, this,
          [this] { shell_.Guarded([this] { Clear(); }); });
}

frmViewLog::~frmViewLog() = default;

void frmViewLog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Only now has the box its final size; scroll once, not again when shown while open.
  if (!scrolled_) ScrollToNewest();
  scrolled_ = true;
}

void frmViewLog::ScrollToNewest() {
  // Show the newest lines. The layout's box holds 23 rows of the system font; a taller font,
  // or a fallback font for some characters, fits fewer. Count the rows that really fit below
  // the newest line, from the laid-out line heights, so that it is never cut off.
  QPlainTextEdit& box = *ui_->txtLog;
  const QAbstractTextDocumentLayout& layout = *box.document()->documentLayout();
  const qreal room = box.viewport()->height();
  qreal used = 0;
  std::size_t rows = 0;
  for (QTextBlock line = box.document()->findBlockByNumber(static_cast<int>(lines_) - 1);
       line.isValid(); line = line.previous()) {
    used += layout.blockBoundingRect(line).height();
    if (used > room) break;
    ++rows;
  }
  box.verticalScrollBar()->setValue(
      static_cast<int>(ScrollFor(lines_, std::max<std::size_t>(rows, 1))));
}

int frmViewLog::scrolledLines() const { return ui_->txtLog->verticalScrollBar()->value(); }

void frmViewLog::Clear() {
  const ClearResult result = ClearLogFile(s_.state.logFilePath);
  if (result.deleted) {
    ui_->txtLog->setPlainText(QString());
  } else if (result.existed) {
    s_.desktop.ShowMessage("无法删除日志文件:" + result.error, "出错信息", MessageIcon::Warning);
  }
}

}  // namespace quorvix
