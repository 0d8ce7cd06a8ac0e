// Base of every window that lives in the main window's MDI area: keeps its
// caption as UTF-8 text (what lookups compare), its entry in
// the "ウィンドウ" menu and the menus it merges into the frame's menu bar.
#pragma once

#include <QMdiSubWindow>
#include <QSize>
#include <QString>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QTimer;

namespace tavi {

class TConnection;
class TWindowHost;

class TMdiChildForm : public QMdiSubWindow {
  Q_OBJECT
 public:
  // Connection: the one the window belongs to, if any.
  TMdiChildForm(TWindowHost& Host, TConnection* Connection, QWidget* Parent = nullptr);
  ~TMdiChildForm() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Caption);
  // Shown after the caption in the title bar and the window menu (a state
  // such as not connected); lookups still go by the caption alone.
  void SetTitleNote(const std::string& Note);
  // The network the window belongs to, shown while several are open.
  void SetNetworkNote(const std::string& Network);

  TWindowHost& Host() const { return host_; }
  TConnection* Connection() const { return connection_; }

  // Menus shown in place of the frame's menus of the same group while this
  // window is active.
  virtual std::vector<std::pair<int, QMenu*>> MergedMenus() { return {}; }

  // Asked before the main window closes; false stops the closing.
  virtual bool CloseQuery() { return true; }

  // The window's entry in the frame's window menu; removed with the window.
  QAction* WindowMenuItem = nullptr;

  // Brings the window back to normal state and shows it.
  void MenuClick();
  // Shows the window behind the active one, which stays active.
  void ShowWithoutActivating();

  // What arrived while the user looked elsewhere: lines, or a line meant
  // for the user, which outranks them until the window is seen.
  enum class TActivity { None, Unread, Highlight };
  TActivity Activity() const { return activity_; }
  void NoteActivity(TActivity Activity);
  void ClearActivity();
  // A line in the window's pane where the lines not seen yet begin.
  virtual void ShowUnreadMarker() {}
  // The title with the activity's mark, as the window menu and list show it.
  QString ListTitle() const;

 signals:
  // The caption, its note or the activity changed.
  void TitleChanged();

 public:
  // Opens at the size the last window of Kind was given (else Default) and,
  // from the next turn of the event loop on, keeps each size it is given in
  // its normal state for the next one, in the desktop settings.
  void KeepSizeAs(const QString& Kind, const QSize& Default);

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void SaveSize();

  QString sizeKind_;
  bool keepingSize_ = false;
  QSize sizeToKeep_;
  // Writes the size a moment after the last change, not at each step of
  // a drag.
  QTimer* sizeTimer_ = nullptr;
  TWindowHost& host_;
  TConnection* connection_;
  void UpdateTitle();

  std::string caption_;
  std::string titleNote_;
  std::string networkNote_;
  TActivity activity_ = TActivity::None;
};

}  // namespace tavi
