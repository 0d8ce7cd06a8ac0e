// Many networks open at once, each with many channels of many members, and
// a flood into one of them, in the real main window. The load is
// bench/scale_load.py's on a local ngircd (bench/scale.sh runs both): one
// server stands for every network, each connection with a nick of its own;
// the first network alone also joins the flood channels.
//
//   tavi_scale PORT [--networks 10] [--channels 50] [--members 200]
//              [--flood-channels 5] [--prefix ta] [--time-limit 120]
//
// Prints one line of figures: joined_ms, from process start until every
// channel of every network is joined in the model with its whole member
// list; joined_rss_mb then; the worst gap of a 5 ms GUI timer while joining
// (stall_join_ms) and from the first flood line to the load's
// "scale-end N" (stall_flood_ms); the flood lines shown. Fails (exit 1, the
// reason on stderr) when the load is not reached in time, when fewer flood
// lines were shown than the load sent, or when a message box would open.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ProcessFigures.h"
#include "QuietHarness.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

namespace {

using bench::Fail;

// The names scale_load.py gives its channels and bots.
std::string Numbered(const char* Format, int N) {
  char name[32];
  std::snprintf(name, sizeof name, Format, N);
  return name;
}

// The channels one network is to join, and which of them are complete in
// the model: joined, the names reply over, every member bot and the own
// nick listed.
class TJoinWatch {
 public:
  TJoinWatch(tavi::TConnection& Connection, std::vector<std::string> Channels, const std::vector<std::string>& Members)
      : connection_(Connection), pending_(std::move(Channels)), members_(Members) {}

  // Drops the channels found complete; true when none is left.
  bool Complete() {
    std::erase_if(pending_, [this](const std::string& Name) { return ChannelComplete(Name); });
    return pending_.empty();
  }
  std::size_t Pending() const { return pending_.size(); }
  std::string Network() const { return connection_.NetworkName(); }
  // What the model holds of the first channel not complete.
  std::string FirstPending() const {
    if (pending_.empty()) return "none";
    const tavi::TChannel* channel = connection_.FindChannel(pending_.front());
    if (!channel) return pending_.front() + " (no window)";
    char state[96];
    std::snprintf(state, sizeof state, " (joined %d, names open %d, %d members)", channel->Joined,
                  channel->NamesReplyOpen, channel->Members.Count());
    return pending_.front() + state;
  }

 private:
  bool ChannelComplete(const std::string& Name) const {
    const tavi::TChannel* channel = connection_.FindChannel(Name);
    if (!channel || !channel->Joined || channel->NamesReplyOpen ||
        channel->Members.Count() < static_cast<int>(members_.size()) + 1)
      return false;
    if (channel->Members.Find(connection_.Own.CurrentNick) < 0) return false;
    for (const std::string& nick : members_)
      if (channel->Members.Find(nick) < 0) return false;
    return true;
  }

  tavi::TConnection& connection_;
  std::vector<std::string> pending_;
  const std::vector<std::string>& members_;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addPositionalArgument("port", "the server's port on 127.0.0.1");
  const QCommandLineOption networksOption("networks", "networks", "n", "10");
  const QCommandLineOption channelsOption("channels", "channels per network", "n", "50");
  const QCommandLineOption membersOption("members", "member bots per channel", "n", "200");
  const QCommandLineOption floodOption("flood-channels", "flood channels of the first network", "n", "5");
  const QCommandLineOption prefixOption("prefix", "nick prefix", "text", "ta");
  const QCommandLineOption limitOption("time-limit", "seconds for each phase", "s", "120");
  parser.addOptions({networksOption, channelsOption, membersOption, floodOption, prefixOption, limitOption});
  parser.process(app);
  if (parser.positionalArguments().size() != 1) parser.showHelp(2);
  const int port = parser.positionalArguments().front().toInt();
  const int networks = parser.value(networksOption).toInt();
  const int channels = parser.value(channelsOption).toInt();
  const int floodChannels = parser.value(floodOption).toInt();
  const std::string prefix = parser.value(prefixOption).toStdString();
  const qint64 limitMs = parser.value(limitOption).toLongLong() * 1000;
  std::vector<std::string> members;
  for (int i = 0; i < parser.value(membersOption).toInt(); ++i) members.push_back(Numbered("m%03d", i));

  tavi::InstallQtPlatform();
  bench::TQuietPlatform platform;
  tavi::SetPlatform(&platform);
  tavi::TSession session;
  auto* form = new tavi::TMainForm(session);
  form->resize(1000, 700);
  form->show();

  std::vector<std::unique_ptr<TJoinWatch>> watches;
  const std::vector<std::string> noMembers;
  tavi::TConnection* first = nullptr;
  for (int n = 1; n <= networks; ++n) {
    tavi::TNetwork network;
    network.Name = Numbered("scale%02d", n);
    network.Servers = {{"127.0.0.1", port, false, {}}};
    network.Nick = prefix + Numbered("%02d", n);
    network.LoginName = network.RealName = "scale";
    network.HostName = "localhost";
    network.Encoding = tavi::TWireEncoding::Utf8;
    network.Reconnect = false;
    std::vector<std::string> names, floodNames;
    for (int c = 1; c <= channels; ++c) names.push_back(Numbered("#s%02d", c));
    for (int f = 1; n == 1 && f <= floodChannels; ++f) floodNames.push_back(Numbered("#f%d", f));
    // Joined by the connection itself once registered.
    for (const auto* list : {&names, &floodNames})
      for (const std::string& name : *list) network.AutoJoin.push_back({name, {}});
    tavi::TConnection& connection = session.AddConnection(network);
    watches.push_back(std::make_unique<TJoinWatch>(connection, names, members));
    // In the flood channels, only a flood bot is with us.
    if (!floodNames.empty()) watches.push_back(std::make_unique<TJoinWatch>(connection, floodNames, noMembers));
    if (!first) first = &connection;
    connection.Connect();
  }

  // The flood's lines in the first network's flood channels, and the
  // load's word that it is over.
  long long floodShown = 0;
  long long floodSent = -1;
  QObject::connect(first, &tavi::TConnection::LineShown, [&](const tavi::TShownLine& Line) {
    if (Line.Channel) {
      floodShown += Line.Kind == tavi::TLineKind::Talk && Line.Sender.starts_with("fb");
      return;
    }
    const qsizetype at = Line.Text.indexOf(QLatin1String("scale-end "));
    if (at >= 0) floodSent = Line.Text.mid(at + 10).section(QLatin1Char(' '), 0, 0).toLongLong();
  });

  // The channels not complete yet, per network, and the first of them.
  const auto pending = [&] {
    std::string text = "per network";
    for (const auto& watch : watches)
      text.append(" ").append(watch->Network()).append(":").append(std::to_string(watch->Pending()));
    for (const auto& watch : watches)
      if (watch->Pending() > 0) return text.append("; first: ").append(watch->FirstPending());
    return text;
  };

  enum { Joining, Joined, Flood } phase = Joining;
  double joinedMs = 0;
  long joinedRssKb = 0;
  qint64 worstJoin = 0, worstFlood = 0;
  QElapsedTimer sinceTick, phaseTime, sinceCheck;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 gap = sinceTick.restart();
    if (platform.Boxes > 0) Fail("a message box would have opened");
    if (phase == Joining) {
      worstJoin = std::max(worstJoin, gap);
      // The model is read every 20 ms: reading it takes GUI time too.
      if (sinceCheck.elapsed() < 20) return;
      sinceCheck.restart();
      bool all = true;
      for (auto& watch : watches) all = watch->Complete() && all;
      if (all) {
        joinedMs = bench::SinceProcessStartMs();
        joinedRssKb = bench::ResidentKb();
        phase = Joined;
        phaseTime.start();
      } else if (phaseTime.elapsed() > limitMs) {
        Fail("channels not complete after %lld s: %s", limitMs / 1000, pending().c_str());
      }
    } else if (phase == Joined && floodShown > 0) {
      phase = Flood;
    } else if (phase == Flood) {
      worstFlood = std::max(worstFlood, gap);
    }
    if (phase != Joining && floodSent < 0 && phaseTime.elapsed() > limitMs) Fail("no end of the flood came");
    if (floodSent < 0) return;
    if (phase == Joining) Fail("the flood came and went before the channels were complete: %s", pending().c_str());
    if (floodShown < floodSent)
      Fail("shown %lld of %lld flood lines", floodShown, floodSent);
    std::printf("joined_ms %.0f joined_rss_mb %.1f stall_join_ms %lld stall_flood_ms %lld flood_shown %lld\n", joinedMs,
                joinedRssKb / 1024.0, static_cast<long long>(worstJoin), static_cast<long long>(worstFlood),
                floodShown);
    std::fflush(stdout);
    _exit(0);  // no settings file is written by a measurement
  });
  phaseTime.start();
  sinceCheck.start();
  sinceTick.start();
  tick.start(5);
  return app.exec();
}
