// A bouncer's history playback on connect, in the real main window: the
// server is bench/playback_server.py (bench/playback.sh runs both), which
// joins the client to its channels and plays back each one's buffer at once.
//
//   tavi_playback PORT [--channels 100] [--lines 500] [--nick tavi]
//                 [--time-limit 60] [--shot FILE]
//
// Prints one line of figures: shown_ms, from registration until every
// channel's window is open, has had all its played-back lines shown, and
// its pane ends with the last of them; shown_rss_mb then; the worst gap of
// a 5 ms GUI timer from registration to the server's "playback-end"
// (stall_ms) and until shown_ms (stall_shown_ms). Fails (exit 1, the reason
// on stderr) when that is not reached in time or a message box would open.
// --shot saves a picture of the main window at the end, after the figures.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "ProcessFigures.h"
#include "QuietHarness.h"
#include "conversation/Chat.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

namespace {

using bench::Fail;

// Which channels have all their lines shown: counted as the connection
// tells them, then looked for in each window's pane as it is laid out.
class TPlaybackWatch {
 public:
  TPlaybackWatch(tavi::TConnection& Connection, tavi::TMainForm& Form, int Channels, int Lines)
      : connection_(Connection), form_(Form), channels_(Channels), lines_(Lines),
        lastText_(QStringLiteral("(%1)").arg(Lines)) {
    QObject::connect(&Connection, &tavi::TConnection::LineShown, [this](const tavi::TShownLine& Line) {
      if (Line.Channel && Line.Kind == tavi::TLineKind::Talk) ++talk_[Line.Channel];
    });
  }

  bool Complete() {
    if (static_cast<int>(complete_.size()) == channels_) return true;
    for (const auto& [channel, window] : Windows()) {
      const auto counted = talk_.find(channel);
      if (counted == talk_.end() || counted->second < lines_ || complete_.contains(channel)) continue;
      if (PaneEndsWithLast(*window)) complete_.insert(channel);
    }
    return static_cast<int>(complete_.size()) == channels_;
  }

  std::string Pending() const {
    long long shown = 0;
    for (const auto& [channel, count] : talk_) shown += count;
    char text[160];
    std::snprintf(text, sizeof text, "%zu channels in the model, %zu windows, %lld talk lines, %zu complete",
                  connection_.Channels().size(), Windows().size(), shown, complete_.size());
    return text;
  }

 private:
  // The channel windows open, by their channel.
  std::map<const tavi::TChannel*, const tavi::TChatForm*> Windows() const {
    std::map<const tavi::TChannel*, const tavi::TChatForm*> windows;
    for (tavi::TMdiChildForm* child : form_.ChildWindows())
      if (const auto* chat = qobject_cast<const tavi::TChatForm*>(child); chat && chat->Channel())
        windows[chat->Channel()] = chat;
    return windows;
  }

  // The pane as laid out so far, without flushing what waits: the last
  // line, or the one before it when the unread marker came after it.
  bool PaneEndsWithLast(const tavi::TChatForm& Window) const {
    QTextBlock block = Window.RecvRichEdit->document()->lastBlock();
    for (int i = 0; i < 2 && block.isValid(); ++i, block = block.previous())
      if (block.text().endsWith(lastText_)) return true;
    return false;
  }

  tavi::TConnection& connection_;
  tavi::TMainForm& form_;
  const int channels_;
  const int lines_;
  const QString lastText_;
  std::map<const tavi::TChannel*, int> talk_;
  std::set<const tavi::TChannel*> complete_;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addPositionalArgument("port", "the server's port on 127.0.0.1");
  const QCommandLineOption channelsOption("channels", "channels played back", "n", "100");
  const QCommandLineOption linesOption("lines", "lines played back per channel", "n", "500");
  const QCommandLineOption nickOption("nick", "nick", "text", "tavi");
  const QCommandLineOption limitOption("time-limit", "seconds until shown", "s", "60");
  const QCommandLineOption shotOption("shot", "a PNG of the main window at the end", "file");
  parser.addOptions({channelsOption, linesOption, nickOption, limitOption, shotOption});
  parser.process(app);
  if (parser.positionalArguments().size() != 1) parser.showHelp(2);
  const int port = parser.positionalArguments().front().toInt();
  const qint64 limitMs = parser.value(limitOption).toLongLong() * 1000;

  tavi::InstallQtPlatform();
  bench::TQuietPlatform platform;
  tavi::SetPlatform(&platform);
  tavi::TSession session;
  auto* form = new tavi::TMainForm(session);
  form->resize(1000, 700);
  form->show();

  tavi::TNetwork network;
  network.Name = "playback";
  network.Servers = {{"127.0.0.1", port, false, {}}};
  network.Nick = parser.value(nickOption).toStdString();
  network.LoginName = network.RealName = "playback";
  network.HostName = "localhost";
  network.Encoding = tavi::TWireEncoding::Utf8;
  network.Reconnect = false;
  tavi::TConnection& connection = session.AddConnection(network);
  TPlaybackWatch watch(connection, *form, parser.value(channelsOption).toInt(), parser.value(linesOption).toInt());

  enum { Connecting, Playback, Shown } phase = Connecting;
  QElapsedTimer sinceRegistered, sinceTick, sinceCheck;
  qint64 shownMs = 0, worstGap = 0, worstGapShown = 0;
  long shownRssKb = 0;
  bool ended = false;
  QObject::connect(&connection, &tavi::TConnection::StateChanged, [&](tavi::TConnectionState State) {
    if (State != tavi::TConnectionState::Registered || phase != Connecting) return;
    phase = Playback;
    sinceRegistered.start();
    sinceTick.start();
  });
  QObject::connect(&connection, &tavi::TConnection::LineShown, [&](const tavi::TShownLine& Line) {
    if (!Line.Channel && Line.Text.endsWith(QLatin1String("playback-end"))) ended = true;
  });

  QElapsedTimer sinceStart;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (platform.Boxes > 0) Fail("a message box would have opened");
    if (phase == Connecting) {
      if (sinceStart.elapsed() > limitMs) Fail("not registered after %lld s", limitMs / 1000);
      return;
    }
    worstGap = std::max(worstGap, sinceTick.restart());
    if (phase == Playback) {
      worstGapShown = worstGap;
      // The windows are read every 20 ms: reading them takes GUI time too.
      if (sinceCheck.isValid() && sinceCheck.elapsed() < 20) return;
      sinceCheck.start();
      if (watch.Complete()) {
        shownMs = sinceRegistered.elapsed();
        shownRssKb = bench::ResidentKb();
        phase = Shown;
      } else if (sinceRegistered.elapsed() > limitMs) {
        Fail("not shown after %lld s: %s", limitMs / 1000, watch.Pending().c_str());
      }
      return;
    }
    if (!ended) {
      if (sinceRegistered.elapsed() > 2 * limitMs) Fail("no playback-end came");
      return;
    }
    std::printf("shown_ms %lld shown_rss_mb %.1f stall_ms %lld stall_shown_ms %lld\n", shownMs,
                shownRssKb / 1024.0, worstGap, worstGapShown);
    std::fflush(stdout);
    if (parser.isSet(shotOption)) form->grab().save(parser.value(shotOption));
    _exit(0);  // no settings file is written by a measurement
  });
  sinceStart.start();
  tick.start(5);
  connection.Connect();
  return app.exec();
}
