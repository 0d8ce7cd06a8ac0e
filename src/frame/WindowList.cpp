#include "frame/WindowList.h"

#include <QEvent>
#include <QMdiArea>
#include <QTimer>
#include <algorithm>
#include <unordered_set>

#include "widgets/MdiChildForm.h"

namespace tavi {

TWindowList::TWindowList(QMdiArea* Area, QWidget* Parent) : QTabBar(Parent), area_(Area) {
  setObjectName(QStringLiteral("WindowList"));
  setExpanding(false);
  setDrawBase(false);
  setElideMode(Qt::ElideRight);
  setUsesScrollButtons(true);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QTabBar::tabBarClicked, this, [this](int Tab) {
    if (Tab < 0 || Tab >= static_cast<int>(tabs_.size())) return;
    for (std::size_t i = 0; i < windows_.size(); ++i)
      if (windows_[i].Id == tabs_[static_cast<std::size_t>(Tab)]) ActivateAt(static_cast<int>(i));
  });
  connect(area_, &QMdiArea::subWindowActivated, this, &TWindowList::Activated);
}

void TWindowList::Add(TMdiChildForm* Child) {
  // A network's windows stand together, after its first.
  std::size_t at = windows_.size();
  if (Child->Connection())
    for (std::size_t i = 0; i < windows_.size(); ++i)
      if (TMdiChildForm* window = WindowAt(i); window && window->Connection() == Child->Connection()) at = i + 1;
  const quint64 id = nextId_++;
  windows_.insert(windows_.begin() + static_cast<std::ptrdiff_t>(at), TEntry{Child, id, true});
  connect(Child, &TMdiChildForm::TitleChanged, this, [this, id] {
    for (TEntry& entry : windows_)
      if (entry.Id == id) entry.TitleChanged = true;
    SyncLater();
  });
  // A widget says it is destroyed before the pointers to it are cleared.
  connect(Child, &QObject::destroyed, this, [this](QObject* Gone) {
    std::erase_if(windows_, [Gone](const TEntry& Entry) { return !Entry.Window || Entry.Window.data() == Gone; });
    SyncLater();
  });
  SyncLater();
}

void TWindowList::SyncLater() {
  if (syncPending_) return;
  syncPending_ = true;
  QTimer::singleShot(0, this, [this] {
    if (syncPending_) Sync();
  });
}

void TWindowList::Sync() {
  syncPending_ = false;
  const QSignalBlocker quiet(this);
  std::unordered_set<quint64> listed;
  for (const TEntry& entry : windows_) listed.insert(entry.Id);
  if (tabs_.size() != windows_.size() ||
      !std::equal(tabs_.begin(), tabs_.end(), windows_.begin(), [](quint64 Tab, const TEntry& Entry) { return Tab == Entry.Id; })) {
    for (int tab = static_cast<int>(tabs_.size()); tab-- > 0;) {
      if (listed.contains(tabs_[static_cast<std::size_t>(tab)])) continue;
      tabs_.erase(tabs_.begin() + tab);
      removeTab(tab);
    }
    // What is left keeps its order: the new windows' tabs go in between.
    for (std::size_t i = 0; i < windows_.size(); ++i) {
      if (i < tabs_.size() && tabs_[i] == windows_[i].Id) continue;
      tabs_.insert(tabs_.begin() + static_cast<std::ptrdiff_t>(i), windows_[i].Id);
      insertTab(static_cast<int>(i), QString());
      windows_[i].TitleChanged = true;
    }
  }
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (!windows_[i].TitleChanged) continue;
    windows_[i].TitleChanged = false;
    if (const TMdiChildForm* window = WindowAt(i)) SetTitle(static_cast<int>(i), window);
  }
  const int current = IndexOf(qobject_cast<TMdiChildForm*>(area_->activeSubWindow()));
  if (current >= 0 && current != currentIndex()) setCurrentIndex(current);
  // Titles of windows long gone are not kept for ever.
  if (sizes_.size() > 4 * count() + 64) {
    sizes_.clear();
    minimumSizes_.clear();
  }
}

QSize TWindowList::tabSizeHint(int Index) const {
  const QString text = tabText(Index);
  if (auto found = sizes_.constFind(text); found != sizes_.cend()) return *found;
  return *sizes_.insert(text, QTabBar::tabSizeHint(Index));
}

// QTabBar asks tabSizeHint for the elided text here.
QSize TWindowList::minimumTabSizeHint(int Index) const {
  const QString text = tabText(Index);
  if (auto found = minimumSizes_.constFind(text); found != minimumSizes_.cend()) return *found;
  return *minimumSizes_.insert(text, QTabBar::minimumTabSizeHint(Index));
}

void TWindowList::changeEvent(QEvent* Event) {
  if (Event->type() == QEvent::FontChange || Event->type() == QEvent::StyleChange) {
    sizes_.clear();
    minimumSizes_.clear();
  }
  QTabBar::changeEvent(Event);
}

void TWindowList::SetTitle(int Tab, const TMdiChildForm* Child) {
  const QString text = Child->ListTitle();
  if (tabText(Tab) != text) setTabText(Tab, text);
  using TActivity = TMdiChildForm::TActivity;
  // No colour of its own: the bar's text colour.
  const QColor colour = Child->Activity() == TActivity::Highlight ? QColor(255, 0, 0)
                        : Child->Activity() == TActivity::Unread  ? QColor(0, 0, 255)
                                                                  : QColor();
  if (tabTextColor(Tab) != colour) setTabTextColor(Tab, colour);
}

TMdiChildForm* TWindowList::WindowAt(std::size_t Index) const {
  return Index < windows_.size() ? qobject_cast<TMdiChildForm*>(windows_[Index].Window.data()) : nullptr;
}

std::vector<TMdiChildForm*> TWindowList::Windows() const {
  std::vector<TMdiChildForm*> windows;
  for (std::size_t i = 0; i < windows_.size(); ++i)
    if (TMdiChildForm* window = WindowAt(i)) windows.push_back(window);
  return windows;
}

int TWindowList::IndexOf(const TMdiChildForm* Child) const {
  if (!Child) return -1;
  for (std::size_t i = 0; i < windows_.size(); ++i)
    if (windows_[i].Window.data() == static_cast<const QObject*>(Child)) return static_cast<int>(i);
  return -1;
}

void TWindowList::ActivateAt(int Index) {
  if (Index < 0 || Index >= static_cast<int>(windows_.size())) return;
  if (TMdiChildForm* window = WindowAt(static_cast<std::size_t>(Index))) window->MenuClick();
}

bool TWindowList::ActivateNextActive() {
  const int count = static_cast<int>(windows_.size());
  const int from = std::max(0, IndexOf(qobject_cast<TMdiChildForm*>(area_->activeSubWindow())));
  using TActivity = TMdiChildForm::TActivity;
  for (const TActivity wanted : {TActivity::Highlight, TActivity::Unread}) {
    for (int step = 1; step <= count; ++step) {
      TMdiChildForm* window = WindowAt(static_cast<std::size_t>((from + step) % count));
      if (window && window->Activity() == wanted) {
        window->MenuClick();
        return true;
      }
    }
  }
  return false;
}

void TWindowList::Activated(QMdiSubWindow* Window) {
  auto* child = qobject_cast<TMdiChildForm*>(Window);
  if (!child) return;
  // Seen: what arrived is read now.
  child->ClearActivity();
  SyncLater();
}

}  // namespace tavi
