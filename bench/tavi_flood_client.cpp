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
#include "kanji/SjisText.h"
#include "platform/QtPlatform.h"
#include "core/ConnectionOptions.h"
#include "session/Globals.h"
#include "frame/MainForm.h"

namespace {

// Message boxes would stop an unattended run: they go to stderr instead.
class TQuietPlatform : public tavi::TQtPlatform {
 public:
  void ShowMessage(const std::string& Text) override {
    std::fprintf(stderr, "message: %s\n", tavi::FromSjis(Text).toUtf8().constData());
  }
  bool AskYesNo(const std::string& Text) override {
    ShowMessage(Text);
    return false;
  }
};

// Checks the channel window when the server ends the connection, before the
// end of the connection closes it.
class TBenchMainForm : public tavi::TMainForm {
 public:
  explicit TBenchMainForm(std::string ExpectLast) : expectLast_(std::move(ExpectLast)) {}

  void EndOfStream() override {
    Check();
    TMainForm::EndOfStream();
  }
  void ConnectionClosed() override {
    if (!checked_) Check();
    TMainForm::ConnectionClosed();
  }
  bool Checked() const { return checked_; }
  int Status() const { return status_; }

 private:
  void Check() {
    checked_ = true;
    auto* channel = qobject_cast<tavi::TChatForm*>(FindChildWindow("#bench"));
    if (!channel) {
      std::fprintf(stderr, "check: no #bench window\n");
      status_ = 1;
      return;
    }
    const QTextDocument* doc = channel->RecvRichEdit->document();
    const std::string last = tavi::ToSjis(doc->lastBlock().text());
    const bool endsRight = expectLast_.empty() ||
                           (last.size() >= expectLast_.size() &&
                            last.compare(last.size() - expectLast_.size(), expectLast_.size(), expectLast_) == 0);
    std::fprintf(stderr, "check: %d lines in the window, last line %s\n", doc->blockCount(),
                 endsRight ? "as expected" : "WRONG");
    if (doc->blockCount() != tavi::TMainForm::KeptLines || !endsRight) status_ = 1;
  }

  std::string expectLast_;
  bool checked_ = false;
  int status_ = 0;
};

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
  tavi::SaveConnectionOptions({false, false, log});
  tavi::InstallQtPlatform();
  TQuietPlatform platform;
  tavi::SetPlatform(&platform);
  tavi::ResetGlobals();

  std::string expectLast;
  if (argc >= 4 && std::string(argv[2]) == "--expect-last") {
    std::ifstream in(argv[3], std::ios::binary);
    expectLast.assign(std::istreambuf_iterator<char>(in), {});
    while (!expectLast.empty() && (expectLast.back() == '\n' || expectLast.back() == '\r')) expectLast.pop_back();
  }

  auto* form = new TBenchMainForm(expectLast);
  form->resize(800, 600);
  form->show();
  tavi::GrobalArea() = tavi::TGrobalArea{"", "benchtavi", "bench", "bench", "localhost", "127.0.0.1", {}, argv[1]};
  // The connect runs off the GUI thread; the poll below sees how it ended.
  form->ConnectCommand();

  bool joined = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!joined && !form->Connecting() && !form->SocketActive()) {
      std::fprintf(stderr, "check: the connect failed\n");
      poll.stop();
      delete form;
      QCoreApplication::exit(1);
      return;
    }
    if (!joined && form->ServerDisConnect->isEnabled()) {
      joined = true;
      form->SendLine("JOIN #bench \r\n");
    }
    if (form->Checked()) {
      poll.stop();
      const int status = form->Status();
      delete form;
      QCoreApplication::exit(status);
    }
  });
  poll.start(5);
  return app.exec();
}
