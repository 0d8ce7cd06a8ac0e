// The window list: a bar of tabs, one per window of the MDI area in the
// order they opened, marked with what arrived in each unseen (unread lines
// in blue, a line meant for the user in red); a click brings the window up.
#pragma once

#include <QPointer>
#include <QTabBar>
#include <vector>

class QMdiArea;
class QMdiSubWindow;

namespace tavi {

class TMdiChildForm;

class TWindowList : public QTabBar {
  Q_OBJECT
 public:
  TWindowList(QMdiArea* Area, QWidget* Parent);

  void Add(TMdiChildForm* Child);
  // The windows in list order.
  std::vector<TMdiChildForm*> Windows() const;
  // Brings up the window at Index (0-based) of the list.
  void ActivateAt(int Index);
  // The next window after the active one with a highlight, else with
  // unread lines; false when there is none.
  bool ActivateNextActive();

 private:
  void Update(TMdiChildForm* Child);
  void Activated(QMdiSubWindow* Window);
  int IndexOf(const TMdiChildForm* Child) const;

  TMdiChildForm* WindowAt(std::size_t Index) const;

  QMdiArea* area_;
  // Held as plain objects: a window in the middle of its destruction is no
  // longer a TMdiChildForm, and the area still reports on it then.
  std::vector<QPointer<QObject>> windows_;
};

}  // namespace tavi
