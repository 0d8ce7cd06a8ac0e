// Base of every window that lives in the main window's MDI area: keeps its
// caption as Shift-JIS bytes (the text that lookups compare), its entry in
// the "ウィンドウ" menu and the menus it merges into the frame's menu bar.
#pragma once

#include <QMdiSubWindow>
#include <QString>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QMenu;

namespace tavi {

class TMdiChildForm : public QMdiSubWindow {
  Q_OBJECT
 public:
  explicit TMdiChildForm(QWidget* Parent = nullptr);
  ~TMdiChildForm() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Caption);

  // Menus shown in place of the frame's menus of the same group while this
  // window is active.
  virtual std::vector<std::pair<int, QMenu*>> MergedMenus() const { return {}; }

  // Asked before the main window closes; false stops the closing.
  virtual bool CloseQuery() { return true; }

  // Channel and talk windows close when the server connection ends.
  virtual bool ClosesWithConnection() const { return false; }
  // Called just before such a window is closed for a lost connection.
  virtual void ConnectionLost() {}

  // The window's entry in the frame's window menu; removed with the window.
  QAction* WindowMenuItem = nullptr;

  // Brings the window back to normal state and shows it.
  void MenuClick();

 protected:
  // Hands a line the window shows to the chat log, when logs are kept.
  void LogLine(const QString& Shown) {
    if (LogActive()) WriteLogLine(Shown);
  }

 private:
  static bool LogActive();
  void WriteLogLine(const QString& Shown);

  std::string caption_;
  // Lines shown before the window had its caption (the date line), logged
  // once it has one.
  std::vector<QString> unnamedLines_;
  // The server name as logs name their folder, and the name it came from.
  std::pair<std::string, QString> logServer_;
};

}  // namespace tavi
