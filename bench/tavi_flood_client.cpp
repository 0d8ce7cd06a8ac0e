// The whole client against the peer flood server: real receive thread,
// dispatcher, handlers and channel window. Connects to 127.0.0.1:PORT, joins
// #bench once registered and stays until the server closes the connection;
// then checks that the channel window shows the flood's last lines.
//
//   tavi_flood_client PORT [--expect-last FILE]
//
// FILE holds the text the window's last line must end with (the flood's
// last message); the check result goes to stderr.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "conversation/Chat.h"
#include "kanji/QtText.h"
#include "platform/QtPlatform.h"
#include "core/ConnectionOptions.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

namespace {

// Message boxes would stop an unattended run: they go to stderr instead.
class TQuietPlatform : public tavi::TQtPlatform {
 public:
  void ShowMessage(const std::string& Text) override {
    std::fprintf(stderr, "message: %s\n", tavi::QText(Text).toUtf8().constData());
  }
  bool AskYesNo(const std::string& Text) override {
    ShowMessage(Text);
    return false;
  }
};

// Checks the channel window when the server ends the connection, before the
// end of the connection closes it: 0 when it holds the lines a pane keeps,
// ending with the expected one.
int CheckChannel(tavi::TMainForm& Form, const std::string& ExpectLast) {
  auto* channel = qobject_cast<tavi::TChatForm*>(Form.FindChildWindow("#bench"));
  if (!channel) {
    std::fprintf(stderr, "check: no #bench window\n");
    return 1;
  }
  const std::vector<std::string> lines = channel->RecvLines();
  const std::string last = lines.empty() ? std::string() : lines.back();
  const bool endsRight = ExpectLast.empty() ||
                         (last.size() >= ExpectLast.size() &&
                          last.compare(last.size() - ExpectLast.size(), ExpectLast.size(), ExpectLast) == 0);
  std::fprintf(stderr, "check: %zu lines in the window, last line %s\n", lines.size(), endsRight ? "as expected" : "WRONG");
  return lines.size() == std::size_t(tavi::TConnection::KeptLines) && endsRight ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PORT [--expect-last FILE] [--log]\n", argv[0]);
    return 2;
  }
  // The desktop settings and logs of a folder of its own: the user's
  // choices do not reach the figure; --log keeps the channel's log there.
  bool log = false;
  for (int i = 2; i < argc; ++i) log = log || std::string(argv[i]) == "--log";
  QTemporaryDir home(QDir::tempPath() + QStringLiteral("/tavi-flood-XXXXXX"));
  qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
  qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
  QApplication app(argc, argv);
  tavi::SaveConnectionOptions(tavi::TConnectionOptions::With(false, false, log));
  tavi::InstallQtPlatform();
  TQuietPlatform platform;
  tavi::SetPlatform(&platform);

  std::string expectLast;
  if (argc >= 4 && std::string(argv[2]) == "--expect-last") {
    std::ifstream in(argv[3], std::ios::binary);
    expectLast.assign(std::istreambuf_iterator<char>(in), {});
    while (!expectLast.empty() && (expectLast.back() == '\n' || expectLast.back() == '\r')) expectLast.pop_back();
  }

  tavi::TSession session;
  tavi::TConnection& connection = session.Connection();
  tavi::TMainForm* form = nullptr;
  bool checked = false;
  int status = 0;
  // Hooked before the windows are: the window is still whole here.
  QObject::connect(&connection, &tavi::TConnection::ChannelRemoved, [&] {
    if (checked || !form) return;
    checked = true;
    status = CheckChannel(*form, expectLast);
  });
  form = new tavi::TMainForm(session);
  form->resize(800, 600);
  form->show();
  session.Grobal() = tavi::TGrobalArea{"", "benchtavi", "bench", "bench", "localhost", "127.0.0.1", {}, argv[1]};
  // The connect runs off the GUI thread; the poll below sees how it ended.
  connection.Connect();

  bool joined = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!joined && !connection.Connecting() && !connection.SocketActive()) {
      std::fprintf(stderr, "check: the connect failed\n");
      poll.stop();
      delete form;
      QCoreApplication::exit(1);
      return;
    }
    if (!joined && connection.State() == tavi::TConnectionState::Registered) {
      joined = true;
      connection.SendLine("JOIN #bench \r\n");
    }
    if (checked) {
      poll.stop();
      delete form;
      QCoreApplication::exit(status);
    }
  });
  poll.start(5);
  return app.exec();
}
