#include "widgets/MdiChildForm.h"

#include <QAction>
#include <QMdiArea>

#include "kanji/QtText.h"
#include "widgets/MenuText.h"

namespace tavi {

TMdiChildForm::TMdiChildForm(TWindowHost& Host, TConnection* Connection, QWidget* Parent)
    : QMdiSubWindow(Parent), host_(Host), connection_(Connection) {
  setAttribute(Qt::WA_DeleteOnClose);
}

TMdiChildForm::~TMdiChildForm() { delete WindowMenuItem; }

void TMdiChildForm::SetCaption(const std::string& Caption) {
  caption_ = Caption;
  UpdateTitle();
}

void TMdiChildForm::SetTitleNote(const std::string& Note) {
  if (Note == titleNote_) return;
  titleNote_ = Note;
  UpdateTitle();
}

void TMdiChildForm::UpdateTitle() {
  setWindowTitle(QText(caption_ + titleNote_));
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
  return QText(U8(mark) + caption_ + titleNote_);
}

void TMdiChildForm::MenuClick() {
  showNormal();
  if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
  raise();
}

}  // namespace tavi
