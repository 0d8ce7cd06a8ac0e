// The find bar of a log pane: Ctrl+F in the window opens it, Enter finds
// the next match, Shift+Enter the previous one (both wrap around), Esc
// closes it. The match is selected in the pane.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QShortcut;
class QTextEdit;
class QToolButton;

namespace tavi {

class TFindBar : public QFrame {
  Q_OBJECT
 public:
  // Hidden until opened; Ctrl+F anywhere in Parent (the window's content)
  // opens it. The window places it in its layout.
  TFindBar(QTextEdit* Pane, QWidget* Parent);
  TFindBar(QPlainTextEdit* Pane, QWidget* Parent);

  // Made when the bar first opens.
  QLineEdit* FindEdit = nullptr;
  QToolButton* FindNextButton = nullptr;
  QToolButton* FindPreviousButton = nullptr;
  QToolButton* FindCloseButton = nullptr;
  QLabel* FindStatusLabel = nullptr;  // not found, or wrapped around
  QShortcut* FindShortcut = nullptr;

  // Shows the bar with the edit's text selected, ready for typing.
  void Open();
  // Hides it; the keyboard goes back where it was.
  void Close();
  // Selects the next (or previous) match after (before) the pane's
  // selection, from the other end when there is none that way; false when
  // the text is nowhere.
  bool FindNext(bool Backward = false);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  struct TPaneAccess {
    QTextDocument* Document;
    std::function<QTextCursor()> Cursor;
    std::function<void(const QTextCursor&)> Select;  // and scrolls to it
  };
  template <class TEdit>
  static TPaneAccess AccessOf(TEdit* Edit);
  TFindBar(TPaneAccess Pane, QWidget* Parent);
  void Build();
  // Finds from From; Backward for the previous match.
  bool FindFrom(QTextCursor From, bool Backward);

  TPaneAccess pane_;
  QPointer<QWidget> returnFocus_;
};

}  // namespace tavi
