#include "dialogs/CommandDialog.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QShowEvent>

#include "platform/Platform.h"
#include <QMainWindow>

#include "widgets/MdiChildForm.h"

namespace tavi {

TCommandDialog::TCommandDialog(QWidget* Owner, bool ClosesOnDeactivate, Qt::WindowFlags Flags)
    : QDialog(Owner, Flags), closesOnDeactivate_(ClosesOnDeactivate) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
}

void TCommandDialog::FormDeactivate() {
  if (!closesOnDeactivate_ || closed_ || keptOpen_) return;
  if (inMessage_)
    closeAfterMessage_ = true;
  else
    close();
}

void TCommandDialog::ShowMessage(const std::string& Text) {
  QPointer<TCommandDialog> self(this);
  const bool outer = inMessage_;
  inMessage_ = true;
  Platform().ShowMessage(Text);
  if (!self) return;
  inMessage_ = outer;
  if (!inMessage_ && closeAfterMessage_) close();
}

void TCommandDialog::Activated() {
  if (activateOn_ == TActivateOn::FirstOnly) {
    if (activated_) return;
    activated_ = true;
  }
  FormActivate();
}

void TCommandDialog::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (activateOn_ != TActivateOn::ActivationOnly) Activated();
}

void TCommandDialog::changeEvent(QEvent* Event) {
  QDialog::changeEvent(Event);
  if (Event->type() != QEvent::ActivationChange || closed_ || !isVisible()) return;
  if (isActiveWindow())
    Activated();
  else
    FormDeactivate();
}

void TCommandDialog::closeEvent(QCloseEvent* Event) {
  closed_ = true;
  Event->accept();
}

void ShowInFront(QDialog* Form) {
  Form->show();
  Form->raise();
  Form->activateWindow();
}

// While a dialog has the activation the area may report no active child;
// the one activated last is the one meant then.
std::string ActiveChildCaption(const QWidget* Within) {
  const QWidget* frame = Within;
  while (frame && !qobject_cast<const QMainWindow*>(frame)) frame = frame->parentWidget();
  QMdiArea* area = frame ? frame->findChild<QMdiArea*>() : nullptr;
  if (!area) return {};
  QMdiSubWindow* active = area->activeSubWindow();
  if (!active) active = area->currentSubWindow();
  if (!active) {
    const QList<QMdiSubWindow*> history = area->subWindowList(QMdiArea::ActivationHistoryOrder);
    if (!history.isEmpty()) active = history.last();
  }
  auto* child = qobject_cast<TMdiChildForm*>(active);
  return child ? child->Caption() : std::string();
}

}  // namespace tavi
