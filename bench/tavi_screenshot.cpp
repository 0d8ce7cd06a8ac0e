// The real client as a person starts it, for the README's picture: the main
// window in its remembered place (a first start fits the screen), connected
// to the local server, with a channel window joined the way the join dialog
// joins one. Stays until the window is closed.
//
//   tavi_screenshot PORT [CHANNEL [LINE...]]
//
// Each LINE is sent after the join, to bring up the windows its replies open.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>

#include "dialogs/AwayCmd.h"
#include "kanji/QtText.h"
#include "platform/QtPlatform.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "conversation/Chat.h"
#include "frame/MainForm.h"
#include "widgets/ProgramIcon.h"

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PORT [CHANNEL]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  tavi::ConfigureApplication(app);
  tavi::InstallQtPlatform();
  QApplication::setWindowIcon(tavi::ProgramIcon());
  const std::string channel = argc > 2 ? argv[2] : "#tavi";

  tavi::TSession session;
  tavi::TConnection& connection = session.Connection();
  auto* form = new tavi::TMainForm(session);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->RestorePlacement();
  form->show();
  session.Grobal() = tavi::TGrobalArea{"", "tavi", "Tavi", "tavi", "localhost", "127.0.0.1", {}, argv[1]};
  connection.Connect();

  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!form->ServerDisConnect->isEnabled()) return;
    poll.stop();
    connection.NoteJoinRequest(channel);
    connection.SendLine("JOIN " + channel + " \r\n");
    for (int i = 3; i < argc; ++i) connection.SendLine(std::string(argv[i]) + "\r\n");
    std::printf("joined\n");
    std::fflush(stdout);
    // TAVI_MAXIMISE=1: the channel's window fills the frame once it is open.
    if (qEnvironmentVariableIntValue("TAVI_MAXIMISE") == 1) {
      auto* maximise = new QTimer(form);
      QObject::connect(maximise, &QTimer::timeout, form, [form, channel, maximise] {
        if (tavi::TChatForm* chat = form->FindChannelWindow(channel)) {
          maximise->stop();
          chat->showMaximized();
        }
      });
      maximise->start(50);
    }
  });
  poll.start(50);
  return app.exec();
}
