#include <QApplication>

#include "dialogs/AwayCmd.h"
#include "platform/QtPlatform.h"
#include "session/Globals.h"
#include "frame/MainForm.h"
#include "widgets/ProgramIcon.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  tavi::ConfigureApplication(app);

  tavi::InstallQtPlatform();
  QApplication::setWindowIcon(tavi::ProgramIcon());
  tavi::ResetGlobals();
  auto* mainForm = new tavi::TMainForm;
  mainForm->setAttribute(Qt::WA_DeleteOnClose);
  // The one away / nick / topic dialog lives as long as the main window.
  tavi::AwayCmdFormInstance();
  mainForm->RestorePlacement();
  mainForm->show();
  return app.exec();
}
