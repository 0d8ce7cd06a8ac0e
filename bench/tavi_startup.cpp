// Start-up time and resident memory of the client, as a person sees it:
// from process start to the main window shown on the display, then the
// memory when idle and, given a port on 127.0.0.1, once registered there.
//
//   tavi_startup [PORT]
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/QtPlatform.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

namespace {

// Milliseconds since the kernel started this process.
double SinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long long startTicks = 0;
  for (int i = 3; i <= 22 && fields >> field; ++i)
    if (i == 22) startTicks = std::stoll(field);
  std::ifstream uptime("/proc/uptime");
  double up = 0;
  uptime >> up;
  return (up - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 16, '\n');
  }
  return 0;
}

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
    std::printf("startup_ms %.0f\n", SinceProcessStart());
    QTimer::singleShot(500, [&] {
      std::printf("idle_rss_kb %ld\n", ResidentKb());
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
          std::printf("connected_rss_kb %ld\n", ResidentKb());
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
