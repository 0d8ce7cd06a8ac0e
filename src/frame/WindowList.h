// The window list: a bar of tabs, one per window of the MDI area in the
// order they opened, marked with what arrived in each unseen (unread lines
// in blue, a line meant for the user in red); a click brings the window up.
// The tabs follow the windows once per turn of the event loop, and each
// title is measured once: a QTabBar lays out every tab at each change,
// which a burst of new windows would otherwise pay for with every tab's
// text shaped and elided again per window.
#pragma once

#include <QHash>
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
  // Brings the tabs up to date with the windows now rather than later.
  void Sync();

 protected:
  QSize tabSizeHint(int Index) const override;
  QSize minimumTabSizeHint(int Index) const override;
  void changeEvent(QEvent* Event) override;

 private:
  struct TEntry {
    // Held as a plain object: a window in the middle of its destruction is
    // no longer a TMdiChildForm, and the area still reports on it then.
    QPointer<QObject> Window;
    quint64 Id;
    bool TitleChanged;
  };

  void SyncLater();
  void Activated(QMdiSubWindow* Window);
  void SetTitle(int Tab, const TMdiChildForm* Child);
  int IndexOf(const TMdiChildForm* Child) const;
  TMdiChildForm* WindowAt(std::size_t Index) const;

  QMdiArea* area_;
  std::vector<TEntry> windows_;
  // The window of each tab, by its entry's id.
  std::vector<quint64> tabs_;
  quint64 nextId_ = 0;
  // The sizes QTabBar gives a tab of this text, and its elided minimum.
  mutable QHash<QString, QSize> sizes_;
  mutable QHash<QString, QSize> minimumSizes_;
  bool syncPending_ = false;
};

}  // namespace tavi
