#include "session/MdiChildForm.h"

#include <QAction>
#include <QMdiArea>

#include "kanji/SjisText.h"
#include "session/MenuText.h"

namespace tavi {

TMdiChildForm::TMdiChildForm(QWidget* Parent) : QMdiSubWindow(Parent) {
  setAttribute(Qt::WA_DeleteOnClose);
}

TMdiChildForm::~TMdiChildForm() { delete WindowMenuItem; }

void TMdiChildForm::SetCaption(const std::string& Caption) {
  caption_ = Caption;
  setWindowTitle(FromSjis(Caption));
  if (WindowMenuItem) WindowMenuItem->setText(MenuText(Caption));
}

void TMdiChildForm::MenuClick() {
  showNormal();
  if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
  raise();
}

}  // namespace tavi
