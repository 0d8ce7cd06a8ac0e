// What the small modeless dialogs share: fixed border, freed when closed,
// and (for most of them) closed as soon as they lose the activation.
#pragma once

#include <QDialog>
#include <QPointer>
#include <string>
#include <utility>

class QCloseEvent;
class QEvent;
class QShowEvent;

namespace tavi {

class TCommandDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr Qt::WindowFlags FixedDialogFlags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                                      Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                      Qt::WindowCloseButtonHint;

  // When FormActivate runs: on every showing and activation, only on the
  // first of them (later ones would overwrite the user's edits), or on
  // activations alone (a window shown behind another is not activated).
  enum class TActivateOn { ShowAndActivation, FirstOnly, ActivationOnly };

  // A dialog that does not close on losing the activation stays until the
  // user closes it.
  TCommandDialog(QWidget* Owner, bool ClosesOnDeactivate, Qt::WindowFlags Flags = FixedDialogFlags);

  // Runs when the dialog is shown or activated, as SetActivateOn says.
  virtual void FormActivate() {}

  // Losing the activation closes the dialog, unless it is held open or a
  // message box of its own is up (see ShowMessage).
  virtual void FormDeactivate();

  // Closed and waiting to be freed: an opener must make a new one.
  bool IsClosed() const { return closed_; }

  // Escape closes, as the dialogs' cancel and close buttons do.
  void reject() override { close(); }

 protected:
  void SetActivateOn(TActivateOn When) { activateOn_ = When; }

  // The box is a child of this dialog and takes the activation: the dialog
  // must not be freed under it, so a loss meanwhile closes it only after.
  void ShowMessage(const std::string& Text);

  // Windows that Work opens take the activation; losing it to them is no
  // loss at all. The dialog may be gone when Work returns.
  template <class F>
  void KeepOpenWhile(F&& Work) {
    QPointer<TCommandDialog> self(this);
    const bool outer = keptOpen_;
    keptOpen_ = true;
    Work();
    if (self) keptOpen_ = outer;
  }

  void showEvent(QShowEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  // QDialog's own handler would reject(), which here closes once more.
  void closeEvent(QCloseEvent* Event) override;

 private:
  void Activated();

  bool closesOnDeactivate_;
  TActivateOn activateOn_ = TActivateOn::ShowAndActivation;
  bool activated_ = false;
  bool closed_ = false;
  bool keptOpen_ = false;
  bool inMessage_ = false;
  bool closeAfterMessage_ = false;
};

// The owner's one open form of class T, or a new one owned by it, made with
// Args after the owner: a form that has closed but is not freed yet does
// not count.
template <class T, class... TArgs>
T* FindOrCreateOpenForm(QObject* Owner, TArgs&&... Args) {
  if (Owner)
    for (QObject* child : Owner->children())
      if (T* form = qobject_cast<T*>(child); form && !form->IsClosed()) return form;
  return new T(qobject_cast<QWidget*>(Owner), std::forward<TArgs>(Args)...);
}

// Shows Form in front, with the activation.
void ShowInFront(QDialog* Form);

// The caption of the active child window of the main window that Within
// belongs to, empty when none.
std::string ActiveChildCaption(const QWidget* Within);

}  // namespace tavi
