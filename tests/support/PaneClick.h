// A left click (press and release, or a drag) on a text pane's character, as
// the mouse gives it to the pane's viewport, and what it queued. The pane
// must be laid out.
#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTextCursor>
#include <QTextDocument>

namespace tavi::test {

// Clicks inside the character at Position, releasing DragBy further on.
template <class TPane>
void ClickText(TPane* Pane, int Position, QPoint DragBy = {}) {
  QTextCursor cursor(Pane->document());
  cursor.setPosition(Position);
  const QPoint at = Pane->cursorRect(cursor).center() + QPoint(2, 0);
  QWidget* viewport = Pane->viewport();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(viewport->mapToGlobal(at)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &press);
  const QPoint to = at + DragBy;
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(to), QPointF(viewport->mapToGlobal(to)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &release);
  // What the click queued, as the event loop runs it.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

}  // namespace tavi::test
