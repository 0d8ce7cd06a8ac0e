#include "widgets/MdiChildForm.h"

#include <QAction>
#include <QMdiArea>

#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "core/ChatLog.h"
#include "session/Globals.h"
#include "widgets/MenuText.h"

namespace tavi {

TMdiChildForm::TMdiChildForm(QWidget* Parent) : QMdiSubWindow(Parent) {
  setAttribute(Qt::WA_DeleteOnClose);
}

TMdiChildForm::~TMdiChildForm() { delete WindowMenuItem; }

void TMdiChildForm::SetCaption(const std::string& Caption) {
  caption_ = Caption;
  setWindowTitle(FromSjis(Caption));
  if (WindowMenuItem) WindowMenuItem->setText(MenuText(Caption));
  std::vector<QString> lines;
  lines.swap(unnamedLines_);
  for (const QString& line : lines) LogLine(line);
}

bool TMdiChildForm::LogActive() { return TChatLog::Active() != nullptr; }

void TMdiChildForm::WriteLogLine(const QString& Shown) {
  if (caption_.empty()) {
    unnamedLines_.push_back(Shown);
    return;
  }
  // The names are converted once, not for every line of a busy window.
  const std::string& server = GrobalArea().ServerName;
  if (server != logServer_.first) logServer_ = {server, FromSjis(server)};
  TChatLog::Active()->Append(logServer_.second, windowTitle(), Platform().Now(), Shown);
}

void TMdiChildForm::MenuClick() {
  showNormal();
  if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
  raise();
}

}  // namespace tavi
