#include "widgets/MdiChildForm.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QCloseEvent>
#include <QMdiArea>
#include <QResizeEvent>
#include <QTimer>

#include "core/DesktopSettings.h"
#include "kanji/QtText.h"
#include "widgets/MenuText.h"

namespace tavi {

namespace {

// The title bar icons every subwindow shows, kept for the program's life.
class TSharedTitleIcons : public QObject {
 public:
  QHash<QString, QIcon> Icons;  // by action text; the window's own by ""
};

QHash<QString, QIcon>& SharedTitleIcons() {
  static QPointer<TSharedTitleIcons> shared;
  if (!shared) {
    shared = new TSharedTitleIcons;
    shared->setParent(QCoreApplication::instance());
  }
  return shared->Icons;
}

// Each QMdiSubWindow loads the style's icons for its title bar and system
// menu afresh, some 37 KB a window: the same shared ones serve them all.
void ShareTitleIcons(QMdiSubWindow& Window) {
  QHash<QString, QIcon>& shared = SharedTitleIcons();
  if (QApplication::windowIcon().isNull()) {
    auto icon = shared.constFind(QString());
    if (icon == shared.cend())
      icon = shared.insert(QString(), Window.style()->standardIcon(QStyle::SP_TitleBarMenuButton, nullptr, &Window));
    Window.setWindowIcon(*icon);
  }
  if (QMenu* menu = Window.systemMenu()) {
    for (QAction* action : menu->actions()) {
      if (action->icon().isNull()) continue;
      if (auto icon = shared.constFind(action->text()); icon != shared.cend()) action->setIcon(*icon);
      else shared.insert(action->text(), action->icon());
    }
  }
}

}  // namespace

TMdiChildForm::TMdiChildForm(TWindowHost& Host, TConnection* Connection, QWidget* Parent)
    : QMdiSubWindow(Parent), host_(Host), connection_(Connection) {
  setAttribute(Qt::WA_DeleteOnClose);
  ShareTitleIcons(*this);
}

TMdiChildForm::~TMdiChildForm() {
  if (sizeTimer_ && sizeTimer_->isActive()) SaveSize();
  delete WindowMenuItem;
}

void TMdiChildForm::SetCaption(const std::string& Caption) {
  caption_ = Caption;
  UpdateTitle();
}

void TMdiChildForm::SetTitleNote(const std::string& Note) {
  if (Note == titleNote_) return;
  titleNote_ = Note;
  UpdateTitle();
}

void TMdiChildForm::SetNetworkNote(const std::string& Network) {
  const std::string note = Network.empty() ? std::string() : " [" + Network + "]";
  if (note == networkNote_) return;
  networkNote_ = note;
  UpdateTitle();
}

void TMdiChildForm::UpdateTitle() {
  setWindowTitle(QText(caption_ + titleNote_ + networkNote_));
  if (WindowMenuItem) WindowMenuItem->setText(MenuText(StdText(ListTitle())));
  emit TitleChanged();
}

void TMdiChildForm::NoteActivity(TActivity Activity) {
  if (Activity <= activity_) return;
  activity_ = Activity;
  UpdateTitle();
}

void TMdiChildForm::ClearActivity() {
  if (activity_ == TActivity::None) return;
  activity_ = TActivity::None;
  UpdateTitle();
}

QString TMdiChildForm::ListTitle() const {
  const char8_t* mark = activity_ == TActivity::Highlight ? u8"★ " : activity_ == TActivity::Unread ? u8"● " : u8"";
  return QText(U8(mark) + caption_ + titleNote_ + networkNote_);
}

void TMdiChildForm::MenuClick() {
  showNormal();
  if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
  raise();
}

void TMdiChildForm::ShowWithoutActivating() {
  // QMdiSubWindow makes itself active when it or its widget is shown,
  // unless it is disabled then.
  const bool disabled = testAttribute(Qt::WA_ForceDisabled);
  setEnabled(false);
  show();
  setEnabled(!disabled);
}

namespace {

QString SizeKey(const QString& Kind) { return QStringLiteral("WindowSize/") + Kind; }

}  // namespace

void TMdiChildForm::KeepSizeAs(const QString& Kind, const QSize& Default) {
  sizeKind_ = Kind;
  const QSize kept = OpenDesktopSettings()->value(SizeKey(Kind)).toSize();
  resize(kept.isValid() ? kept.expandedTo(minimumSize()) : Default);
  // What the frame does to a new window (fitting it into its area) is not
  // the user's choice of size.
  QTimer::singleShot(0, this, [this] { keepingSize_ = true; });
}

void TMdiChildForm::resizeEvent(QResizeEvent* Event) {
  QMdiSubWindow::resizeEvent(Event);
  if (!keepingSize_ || !isVisible() || (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) return;
  // Taken now: the window may be minimised before the timer writes it.
  sizeToKeep_ = size();
  if (!sizeTimer_) {
    sizeTimer_ = new QTimer(this);
    sizeTimer_->setSingleShot(true);
    sizeTimer_->setInterval(500);
    connect(sizeTimer_, &QTimer::timeout, this, &TMdiChildForm::SaveSize);
  }
  sizeTimer_->start();
}

void TMdiChildForm::closeEvent(QCloseEvent* Event) {
  QMdiSubWindow::closeEvent(Event);
  if (Event->isAccepted() && sizeTimer_ && sizeTimer_->isActive()) {
    sizeTimer_->stop();
    SaveSize();
  }
}

void TMdiChildForm::SaveSize() {
  if (sizeKind_.isEmpty()) return;
  OpenDesktopSettings()->setValue(SizeKey(sizeKind_), sizeToKeep_);
}

}  // namespace tavi
