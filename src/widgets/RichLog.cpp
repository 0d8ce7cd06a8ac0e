#include "widgets/RichLog.h"

#include <QEvent>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>

#include "widgets/PaneLinks.h"

namespace tavi {

namespace {

// The panes' shared burst state: bursts from every connection nest on the
// GUI thread, and the last end flushes the panes that wait.
struct TBurstState {
  int Depth = 0;
  std::vector<QPointer<TRichLog>> Waiting;
  std::chrono::steady_clock::time_point LastFlush;
  bool FlushArmed = false;
};

TBurstState& Bursts() {
  static TBurstState state;
  return state;
}

}  // namespace

TRichLog::TRichLog(QTextEdit* Edit) : QObject(Edit), edit_(Edit), viewport_(Edit->viewport()) {
  setObjectName(QStringLiteral("RichLog"));
  viewport_->installEventFilter(this);
}

bool TRichLog::eventFilter(QObject* Watched, QEvent* Event) {
  // Laid out before the pane draws itself: a paint is what tells that some
  // of it can be seen again.
  // Compared by the pointer kept: while the pane is being destroyed its
  // viewport still has events, and the pane can no longer be asked.
  if (Watched == viewport_ && (Event->type() == QEvent::Paint || Event->type() == QEvent::Show))
    HoldLayout(false);
  return QObject::eventFilter(Watched, Event);
}

bool TRichLog::CanBeSeen() const {
  // visibleRegion() leaves out what opaque windows above cover.
  const QWidget* view = edit_->viewport();
  return view->isVisible() && !view->window()->isMinimized() && !view->visibleRegion().isEmpty();
}

void TRichLog::HoldLayout(bool Hold) {
  // A document with a null page size is not laid out; its text is the
  // same, and the pane lays it all out again once it gets a size back.
  QTextDocument* doc = edit_->document();
  const bool held = doc->pageSize().isNull();
  if (Hold == held) return;
  if (Hold) {
    shownPageSize_ = doc->pageSize();
    doc->setPageSize(QSizeF(0, 0));
    return;
  }
  doc->setPageSize(shownPageSize_);
  // At once and in full, so that the scroll bar reaches the end before the
  // pane is drawn.
  doc->size();
}

TRichLog* TRichLog::Of(QTextEdit* Edit) {
  return Edit ? Edit->findChild<TRichLog*>(QStringLiteral("RichLog"), Qt::FindDirectChildrenOnly) : nullptr;
}

void TRichLog::BeginBurst() { ++Bursts().Depth; }

void TRichLog::EndBurst(bool MoreFollow) {
  TBurstState& g = Bursts();
  if (g.Depth == 0 || --g.Depth > 0) return;
  if (MoreFollow && !g.Waiting.empty()) {
    const auto Since = std::chrono::steady_clock::now() - g.LastFlush;
    if (Since < std::chrono::milliseconds(FlushIntervalMs)) {
      // Shown within the interval even if no further burst comes.
      if (!g.FlushArmed) {
        g.FlushArmed = true;
        const auto Left = std::chrono::milliseconds(FlushIntervalMs) - Since;
        QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(Left), [] {
          Bursts().FlushArmed = false;
          if (!InBurst()) FlushWaiting();
        });
      }
      return;
    }
  }
  FlushWaiting();
}

void TRichLog::FlushWaiting() {
  TBurstState& g = Bursts();
  g.LastFlush = std::chrono::steady_clock::now();
  std::vector<QPointer<TRichLog>> logs;
  logs.swap(g.Waiting);
  for (const QPointer<TRichLog>& log : logs)
    if (log) log->Flush();
}

bool TRichLog::InBurst() { return Bursts().Depth > 0; }

int TRichLog::LinesInPane() const {
  const QTextDocument* doc = edit_->document();
  return doc->isEmpty() ? 0 : doc->blockCount();
}

void TRichLog::Append(const QString& Text, const QColor& Color) {
  if (!InBurst()) {
    Flush();
    AppendNow(Text, Color);
    return;
  }
  pending_.emplace_back(Text, Color);
  if (!queued_) {
    queued_ = true;
    Bursts().Waiting.emplace_back(this);
  }
}

void TRichLog::KeepLast(int Lines) {
  if (!InBurst()) {
    Flush();
    firstKept_ = std::max(0, LinesInPane() - Lines);
    Flush();
    return;
  }
  // Lines are only added in between, so the trims together remove every
  // line before the furthest point any of them reached.
  firstKept_ = std::max(firstKept_, LinesInPane() + static_cast<int>(pending_.size()) - Lines);
  if (!queued_) {
    queued_ = true;
    Bursts().Waiting.emplace_back(this);
  }
}

void TRichLog::Flush() {
  queued_ = false;
  if (pending_.empty() && firstKept_ == 0) return;
  // A held pane stays held until it is painted. A few lines cost less to
  // lay out than finding out whether the pane is covered among many windows.
  if (pending_.size() >= HoldFromLines && !edit_->document()->pageSize().isNull() && !CanBeSeen()) HoldLayout(true);
  QTextDocument* doc = edit_->document();
  const int inPane = LinesInPane();
  const int firstKept = firstKept_;
  firstKept_ = 0;

  // The trim at the top and the lines at the end are two edit blocks: in
  // one, the change would span the whole pane and every line kept would be
  // laid out again; apart, only the new lines are.
  QTextCursor cursor(doc);
  if (firstKept >= inPane) {
    if (inPane > 0) {
      cursor.select(QTextCursor::Document);
      cursor.removeSelectedText();
    }
  } else if (firstKept > 0) {
    cursor.movePosition(QTextCursor::Start);
    cursor.setPosition(doc->findBlockByNumber(firstKept).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
  const std::size_t from = firstKept > inPane ? static_cast<std::size_t>(firstKept - inPane) : 0;
  std::vector<std::pair<QString, QColor>> lines;
  lines.swap(pending_);
  cursor.beginEditBlock();
  for (std::size_t i = std::min(from, lines.size()); i < lines.size(); ++i) AppendNow(lines[i].first, lines[i].second);
  cursor.endEditBlock();
}

QString UnreadMarkerText() { return QString::fromUtf8(u8"―――――― ここから未読 ――――――"); }

void RemoveLastLine(QTextDocument* Document, const QString& Text) {
  for (QTextBlock block = Document->lastBlock(); block.isValid(); block = block.previous()) {
    if (block.text() != Text) continue;
    QTextCursor cursor(block);
    cursor.select(QTextCursor::BlockUnderCursor);
    // The first block has no break before it: take the one after instead.
    if (block.blockNumber() == 0 && block.next().isValid()) {
      cursor.setPosition(block.position());
      cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    return;
  }
}

void TRichLog::AppendMarker(const QString& Text, const QColor& Color) {
  Flush();
  RemoveLastLine(edit_->document(), Text);
  Append(Text, Color);
}

void TRichLog::AppendNow(const QString& Text, const QColor& Color) {
  QTextDocument* doc = edit_->document();
  QTextCharFormat format;
  format.setForeground(Color);
  QTextCursor cursor(doc);
  cursor.movePosition(QTextCursor::End);
  if (doc->isEmpty()) {
    cursor.setBlockCharFormat(format);
  } else {
    cursor.insertBlock(QTextBlockFormat(), format);
  }
  InsertLinkedText(cursor, Text, format);
}

}  // namespace tavi
