// What the small command dialogs share: modeless, fixed border, freed when
// closed, and (for most of them) closed as soon as they lose the activation.
#pragma once

#include <QCloseEvent>
#include <QDialog>
#include <QEvent>
#include <QMdiArea>
#include <QShowEvent>
#include <string>

#include "platform/Platform.h"
#include "session/MainForm.h"
#include "session/MdiChildForm.h"

namespace tavi {

class TCommandDialog : public QDialog {
 public:
  TCommandDialog(QWidget* Owner, bool ClosesOnDeactivate)
      : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
        closesOnDeactivate_(ClosesOnDeactivate) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
  }

  // Runs whenever the dialog is shown or becomes the active window.
  virtual void FormActivate() {}

  // Losing the activation closes the dialog. While a message box of its own
  // is up the close waits for the box to go: the box is a child of this
  // dialog and must not be freed under its own feet.
  void FormDeactivate() {
    if (!closesOnDeactivate_ || closed_) return;
    if (inMessage_)
      closeAfterMessage_ = true;
    else
      close();
  }

  // Closed and waiting to be freed: an opener must make a new one.
  bool IsClosed() const { return closed_; }

  // Escape closes, as the dialogs' cancel and close buttons do.
  void reject() override { close(); }

 protected:
  void ShowMessage(const std::string& Text) {
    const bool outer = inMessage_;
    inMessage_ = true;
    Platform().ShowMessage(Text);
    inMessage_ = outer;
    if (!inMessage_ && closeAfterMessage_) close();
  }

  void showEvent(QShowEvent* Event) override {
    QDialog::showEvent(Event);
    FormActivate();
  }

  void changeEvent(QEvent* Event) override {
    QDialog::changeEvent(Event);
    if (Event->type() != QEvent::ActivationChange || closed_ || !isVisible()) return;
    if (isActiveWindow())
      FormActivate();
    else
      FormDeactivate();
  }

  // QDialog's own handler would reject(), which here closes once more.
  void closeEvent(QCloseEvent* Event) override {
    closed_ = true;
    Event->accept();
  }

 private:
  bool closesOnDeactivate_;
  bool closed_ = false;
  bool inMessage_ = false;
  bool closeAfterMessage_ = false;
};

// The owner's one open form of class T, or a new one owned by it: a form that
// has closed but is not freed yet does not count.
template <class T>
T* FindOrCreateOpenForm(QObject* Owner) {
  if (Owner)
    for (QObject* child : Owner->children())
      if (T* form = qobject_cast<T*>(child); form && !form->IsClosed()) return form;
  return new T(qobject_cast<QWidget*>(Owner));
}

// Shows Form in front, with the activation.
inline void ShowInFront(QDialog* Form) {
  Form->show();
  Form->raise();
  Form->activateWindow();
}

// The caption of the main window's active child window, empty when none.
// While a dialog has the activation the area may report no active child;
// the one activated last is the one meant then.
inline std::string ActiveChildCaption() {
  if (!MainForm || !MainForm->MdiArea) return {};
  QMdiSubWindow* active = MainForm->MdiArea->activeSubWindow();
  if (!active) active = MainForm->MdiArea->currentSubWindow();
  if (!active) {
    const QList<QMdiSubWindow*> history = MainForm->MdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    if (!history.isEmpty()) active = history.last();
  }
  auto* child = qobject_cast<TMdiChildForm*>(active);
  return child ? child->Caption() : std::string();
}

}  // namespace tavi
