// Start-up time and resident memory of the client, as a person sees it:
// from process start to the main window shown on the display, then the
// memory when idle and, given a port on 127.0.0.1, once registered there.
//
//   tavi_startup [PORT]
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>

#include "ProcessFigures.h"
#include "platform/QtPlatform.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

namespace {

class TQuietPlatform : public tavi::TQtPlatform {
 public:
  void ShowMessage(const std::string& Text) override { std::fprintf(stderr, "message: %s\n", Text.c_str()); }
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  tavi::InstallQtPlatform();
  TQuietPlatform platform;
  tavi::SetPlatform(&platform);
  tavi::TSession session;
  auto* form = new tavi::TMainForm(session);
  form->show();
  // The window is on the screen once the event loop has painted it.
  QTimer::singleShot(0, [&] {
    QApplication::processEvents();
    std::printf("startup_ms %.0f\n", bench::SinceProcessStartMs());
    QTimer::singleShot(500, [&] {
      std::printf("idle_rss_kb %ld\n", bench::ResidentKb());
      if (argc < 2) {
        QCoreApplication::quit();
        return;
      }
      session.Grobal() = tavi::TGrobalArea{"", "startup", "bench", "bench", "localhost", "127.0.0.1", {}, argv[1]};
      session.Connection().Connect();
      auto* poll = new QTimer(form);
      QObject::connect(poll, &QTimer::timeout, [&, poll] {
        if (!form->ServerDisConnect->isEnabled()) return;
        poll->stop();
        QTimer::singleShot(500, [&] {
          std::printf("connected_rss_kb %ld\n", bench::ResidentKb());
          QCoreApplication::quit();
        });
      });
      poll->start(10);
    });
  });
  const int status = app.exec();
  std::fflush(stdout);
  _exit(status);  // no settings file is written by a measurement
}
