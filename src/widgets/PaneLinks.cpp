#include "widgets/PaneLinks.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <utility>

#include "core/Connection.h"
#include "core/TypedCommands.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "widgets/Links.h"

namespace tavi {

namespace {

// Every link has the same format, whatever its address: a document keeps
// each format it was ever given until it is cleared, and a pane that shows
// a new address every line would grow without end. The address is the
// link's text.
const QString LinkMark = QStringLiteral("link");

// The address of the link under At, if any.
template <class TPane>
QString AddressAt(TPane* Pane, const QPoint& At) {
  if (Pane->anchorAt(At).isEmpty()) return {};
  const int position = Pane->cursorForPosition(At).position();
  const QTextBlock block = Pane->document()->findBlock(position);
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment piece = it.fragment();
    if (piece.charFormat().isAnchor() && piece.position() <= position && position <= piece.position() + piece.length())
      return piece.text();
  }
  return {};
}

}  // namespace

void InsertLinkedText(QTextCursor& Cursor, const QString& Text, const QTextCharFormat& Format) {
  const QList<TLinkSpan> spans = FindLinks(Text);
  if (spans.isEmpty()) {
    Cursor.insertText(Text, Format);
    return;
  }
  QTextCharFormat link = Format;
  link.setAnchor(true);
  link.setFontUnderline(true);
  link.setForeground(QApplication::palette().link());
  link.setAnchorHref(LinkMark);
  qsizetype done = 0;
  for (const TLinkSpan& span : spans) {
    if (span.Start > done) Cursor.insertText(Text.mid(done, span.Start - done), Format);
    Cursor.insertText(Text.mid(span.Start, span.Length), link);
    done = span.Start + span.Length;
  }
  if (done < Text.size()) Cursor.insertText(Text.mid(done), Format);
}

void AppendLinkedLine(QPlainTextEdit* Memo, const QString& Text) {
  QScrollBar* bar = Memo->verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum();
  QTextDocument* doc = Memo->document();
  // A cursor of its own with plain formats: appendPlainText would carry on
  // the format where the pane's cursor stands, a link's too.
  QTextCursor cursor(doc);
  cursor.beginEditBlock();
  cursor.movePosition(QTextCursor::End);
  if (!doc->isEmpty()) cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
  InsertLinkedText(cursor, Text, QTextCharFormat());
  cursor.endEditBlock();
  if (atEnd) bar->setValue(bar->maximum());
}

TPaneLinks::TPaneLinks(QWidget* Pane, QWidget* Viewport, std::function<QString(const QPoint&)> AddressAt)
    : QObject(Pane), viewport_(Viewport), addressAt_(std::move(AddressAt)) {
  Viewport->installEventFilter(this);
  Viewport->setMouseTracking(true);
}

TPaneLinks::TPaneLinks(QTextEdit* Pane)
    : TPaneLinks(Pane, Pane->viewport(), [Pane](const QPoint& At) { return AddressAt(Pane, At); }) {
  Pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                                Qt::LinksAccessibleByMouse);
}

TPaneLinks::TPaneLinks(QPlainTextEdit* Pane)
    : TPaneLinks(Pane, Pane->viewport(), [Pane](const QPoint& At) { return AddressAt(Pane, At); }) {
  Pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                                Qt::LinksAccessibleByMouse);
}

bool TPaneLinks::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != viewport_) return false;
  switch (Event->type()) {
    case QEvent::MouseMove: {
      const bool over = !addressAt_(static_cast<QMouseEvent*>(Event)->position().toPoint()).isEmpty();
      if (over != overLink_) {
        if (over) shapeOffLinks_ = viewport_->cursor().shape();
        viewport_->setCursor(over ? Qt::PointingHandCursor : shapeOffLinks_);
        overLink_ = over;
      }
      break;
    }
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(Event);
      pressedAt_ = mouse->position().toPoint();
      pressed_ = mouse->button() == Qt::LeftButton ? addressAt_(pressedAt_) : QString();
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(Event);
      const QPoint at = mouse->position().toPoint();
      const QString link = std::exchange(pressed_, QString());
      // A drag from a link selects text instead. What the click does (a
      // message box, a join) runs after the mouse event, which it may
      // outlive the pane of.
      if (mouse->button() == Qt::LeftButton && !link.isEmpty() &&
          (at - pressedAt_).manhattanLength() < QApplication::startDragDistance() && addressAt_(at) == link)
        QMetaObject::invokeMethod(
            this, [this, link] { emit Activated(QUrl(link, QUrl::TolerantMode)); }, Qt::QueuedConnection);
      break;
    }
    default:
      break;
  }
  return false;
}

void OpenLink(TConnection& Connection, const QUrl& Link) {
  if (const std::optional<QString> channel = ChannelOfIrcLink(Link, QText(Connection.RemoteHost()))) {
    RunTypedLine(Connection, "/join " + StdText(*channel), nullptr, nullptr);
    return;
  }
  const std::string address = StdText(Link.toString(QUrl::FullyEncoded));
  if (!Platform().OpenUrl(address)) Platform().ShowMessage(U8(u8"ブラウザーで開けませんでした。\r\n") + address);
}

}  // namespace tavi
