#include "widgets/MdiChildForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QMdiArea>
#include <QResizeEvent>
#include <QTimer>

#include "core/DesktopSettings.h"
#include "kanji/QtText.h"
#include "widgets/MenuText.h"

namespace tavi {

TMdiChildForm::TMdiChildForm(TWindowHost& Host, TConnection* Connection, QWidget* Parent)
    : QMdiSubWindow(Parent), host_(Host), connection_(Connection) {
  setAttribute(Qt::WA_DeleteOnClose);
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
