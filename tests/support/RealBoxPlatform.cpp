#include "RealBoxPlatform.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <algorithm>

namespace tavi::test {

TRealBoxPlatform::TRealBoxPlatform(int CloseAfterMs) {
  qApp->installEventFilter(this);
  closer_.setInterval(CloseAfterMs);
  // The innermost box first: its event loop is the one running.
  QObject::connect(&closer_, &QTimer::timeout, [] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else if (modal)
      modal->close();
  });
  closer_.start();
}

TRealBoxPlatform::~TRealBoxPlatform() {
  closer_.stop();
  qApp->removeEventFilter(this);
}

bool TRealBoxPlatform::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Show && Watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(Watched);
    if (ActivateOnShow && widget->isWindow()) widget->activateWindow();
    if (widget->isWindow() && widget->isModal()) {
      ++ModalShown;
      int open = 0;
      for (QWidget* w : QApplication::topLevelWidgets()) open += w->isVisible() && w->isModal();
      MostModalAtOnce = std::max(MostModalAtOnce, open);
    }
  }
  return false;
}

}  // namespace tavi::test
