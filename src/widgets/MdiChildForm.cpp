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
  setWindowTitle(QText(Caption));
  if (WindowMenuItem) WindowMenuItem->setText(MenuText(Caption));
}

void TMdiChildForm::MenuClick() {
  showNormal();
  if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
  raise();
}

}  // namespace tavi
