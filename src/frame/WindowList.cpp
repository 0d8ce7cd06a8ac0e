#include "frame/WindowList.h"

#include <QMdiArea>

#include "widgets/MdiChildForm.h"

namespace tavi {

TWindowList::TWindowList(QMdiArea* Area, QWidget* Parent) : QTabBar(Parent), area_(Area) {
  setObjectName(QStringLiteral("WindowList"));
  setExpanding(false);
  setDrawBase(false);
  setElideMode(Qt::ElideRight);
  setUsesScrollButtons(true);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QTabBar::tabBarClicked, this, [this](int Index) { ActivateAt(Index); });
  connect(area_, &QMdiArea::subWindowActivated, this, &TWindowList::Activated);
}

void TWindowList::Add(TMdiChildForm* Child) {
  // A network's windows stand together, after its first.
  std::size_t at = windows_.size();
  if (Child->Connection())
    for (std::size_t i = 0; i < windows_.size(); ++i)
      if (TMdiChildForm* window = WindowAt(i); window && window->Connection() == Child->Connection()) at = i + 1;
  windows_.insert(windows_.begin() + static_cast<std::ptrdiff_t>(at), QPointer<QObject>(Child));
  const QSignalBlocker quiet(this);
  insertTab(static_cast<int>(at), Child->ListTitle());
  Update(Child);
  connect(Child, &TMdiChildForm::TitleChanged, this, [this, Child] { Update(Child); });
  connect(Child, &QObject::destroyed, this, [this] {
    // The pointer is null by now: the tab of the window gone is the one
    // whose window is.
    for (int i = static_cast<int>(windows_.size()); i-- > 0;) {
      if (windows_[static_cast<std::size_t>(i)]) continue;
      windows_.erase(windows_.begin() + i);
      const QSignalBlocker quiet(this);
      removeTab(i);
    }
  });
}

TMdiChildForm* TWindowList::WindowAt(std::size_t Index) const {
  return Index < windows_.size() ? qobject_cast<TMdiChildForm*>(windows_[Index].data()) : nullptr;
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
    if (windows_[i].data() == static_cast<const QObject*>(Child)) return static_cast<int>(i);
  return -1;
}

void TWindowList::Update(TMdiChildForm* Child) {
  const int index = IndexOf(Child);
  if (index < 0) return;
  setTabText(index, Child->ListTitle());
  using TActivity = TMdiChildForm::TActivity;
  const QColor colour = Child->Activity() == TActivity::Highlight ? QColor(255, 0, 0)
                        : Child->Activity() == TActivity::Unread  ? QColor(0, 0, 255)
                                                                  : palette().color(QPalette::WindowText);
  setTabTextColor(index, colour);
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
  const int index = IndexOf(child);
  const QSignalBlocker quiet(this);
  if (index >= 0) setCurrentIndex(index);
}

}  // namespace tavi
