#include <QApplication>

#include "core/Session.h"
#include "frame/MainForm.h"
#include "platform/QtPlatform.h"
#include "widgets/FormFont.h"
#include "widgets/ProgramIcon.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  tavi::ConfigureApplication(app);
  tavi::UseFormFontForMenusAndBoxes();

  tavi::InstallQtPlatform();
  QApplication::setWindowIcon(tavi::ProgramIcon());
  tavi::TSession session;
  auto* mainForm = new tavi::TMainForm(session);
  mainForm->setAttribute(Qt::WA_DeleteOnClose);
  mainForm->RestorePlacement();
  mainForm->show();
  mainForm->StartNetworks();
  return app.exec();
}
