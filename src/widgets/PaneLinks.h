// Links in the log panes: the addresses of a line shown as links, a click on
// one reported, and what a click on a conversation's link does.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <functional>

class QPlainTextEdit;
class QTextCharFormat;
class QTextCursor;
class QTextEdit;
class QWidget;

namespace tavi {

class TConnection;

// Inserts Text at Cursor in Format, its addresses as links: underlined, in
// the link colour. The text is the same as with QTextCursor::insertText.
void InsertLinkedText(QTextCursor& Cursor, const QString& Text, const QTextCharFormat& Format);

// Text as Memo's new last line (appendPlainText with links). The view
// follows the end if it was there.
void AppendLinkedLine(QPlainTextEdit* Memo, const QString& Text);

// Reports a click on a link of a read-only pane (a press and release on the
// same link, not a drag that selects), queued after the mouse event, and
// shows the hand over links. A child of the pane.
class TPaneLinks : public QObject {
  Q_OBJECT
 public:
  explicit TPaneLinks(QTextEdit* Pane);
  explicit TPaneLinks(QPlainTextEdit* Pane);

 signals:
  void Activated(const QUrl& Link);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  TPaneLinks(QWidget* Pane, QWidget* Viewport, std::function<QString(const QPoint&)> AddressAt);

  QWidget* viewport_;
  std::function<QString(const QPoint&)> addressAt_;
  QString pressed_;
  QPoint pressedAt_;
  bool overLink_ = false;
  Qt::CursorShape shapeOffLinks_ = Qt::IBeamCursor;
};

// What a click on a link in a window of Connection does: an irc link to a
// channel of the connection's server joins it; other addresses open in the
// desktop's browser (through the platform), or a message says they could not.
void OpenLink(TConnection& Connection, const QUrl& Link);

// Clicks on Pane's links open through OpenLink on Connection, which must
// outlive the pane.
template <class TPane>
void OpenLinksOf(TPane* Pane, TConnection& Connection) {
  QObject::connect(new TPaneLinks(Pane), &TPaneLinks::Activated, Pane,
                   [&Connection](const QUrl& Link) { OpenLink(Connection, Link); });
}

}  // namespace tavi
