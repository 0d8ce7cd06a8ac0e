// What the negotiated capabilities change: lines in, the model, the lines
// shown and the lines sent out.
#include <QFile>

#include "CoreFixture.h"
#include "core/ChatLog.h"
#include "core/ConnectionOptions.h"
#include "core/DesktopSettings.h"
#include "core/EventProcessor.h"
#include "core/TypedCommands.h"

namespace tavi::test {
namespace {

const std::string T = "09:05";  // the fake clock's now
const std::string Begin = U8(u8"――― 履歴 ―――");
const std::string End = U8(u8"――― ここまで履歴 ―――");

class CapabilityUseTest : public CoreFixture {
 protected:
  // A fresh session whose server granted Caps (space-separated).
  void Restart(const std::string& Caps) {
    TearDown();
    SetUp();
    if (!Caps.empty()) {
      Feed(":irc.test CAP * LS :" + Caps);
      Feed(":irc.test CAP * ACK :" + Caps);
    }
    TakeSent();
  }
  // The members of Name as listed, each with what its tip tells beyond
  // the nick: "@bob / 不在： lunch".
  std::string Detailed(const std::string& Name) {
    const TChannel* channel = Connection().FindChannel(Name);
    if (!channel) return "<no channel>";
    std::string text;
    for (int row = 0; row < channel->Members.Count(); ++row) {
      const TMember& member = channel->Members.At(row);
      std::string tip = StdText(channel->Members.data(channel->Members.index(row), Qt::ToolTipRole).toString());
      tip.erase(0, member.Nick.size());
      for (std::size_t at; (at = tip.find('\n')) != std::string::npos;) tip.replace(at, 1, " / ");
      text += (row ? " " : "") + member.Entry() + tip;
    }
    return text;
  }
};

// Tags a line may carry that change nothing: an id and a client's own tag.
std::string Tagged(const std::string& Line) {
  const std::string tags = "msgid=Xy1;+example.org/tone=a\\sb";
  return Line.starts_with('@') ? "@" + tags + ";" + Line.substr(1) : "@" + tags + " " + Line;
}

TEST_F(CapabilityUseTest, LinesOfTheCapabilitiesKeepTheModelTaggedOrNot) {
  struct TCase {
    const char* Name;
    std::string Caps;
    Lines In;
    Lines Shown;
    std::string C;  // #c's members afterwards
    std::string D = "bob me";
  };
  const TCase cases[] = {
      {"away and back, in every channel",
       "away-notify",
       {":bob!b@h AWAY :lunch " + U8(u8"昼食")},
       {},
       "@bob / " + U8(u8"不在： lunch 昼食") + " carol me",
       "bob / " + U8(u8"不在： lunch 昼食") + " me"},
      {"back", "away-notify", {":bob!b@h AWAY :x", ":bob!b@h AWAY"}, {}, "@bob carol me"},
      {"account and logout", "account-notify",
       {":bob!b@h ACCOUNT bobby", ":carol!c@h ACCOUNT carol", ":carol!c@h ACCOUNT *"}, {},
       "@bob / " + U8(u8"アカウント： bobby") + " carol me", "bob / " + U8(u8"アカウント： bobby") + " me"},
      {"extended join", "extended-join",
       {":dave!d@dh JOIN #c dave :Dave " + U8(u8"大輔"), ":erin!e@eh JOIN #c * :Erin"},
       {"#c event " + T + " dave" + U8(u8" がチャンネルへ入室しました。"),
        "#c event " + T + " erin" + U8(u8" がチャンネルへ入室しました。")},
       "@bob carol dave (d@dh) / " + U8(u8"アカウント： dave / 名前： Dave 大輔") + " erin (e@eh) / " +
           U8(u8"名前： Erin") + " me"},
      {"changed host and real name, quietly", "chghost setname",
       {":bob!b@h CHGHOST robert new.example", ":bob!robert@new.example SETNAME :Robert B"}, {},
       "@bob (robert@new.example) / " + U8(u8"名前： Robert B") + " carol me",
       "bob (robert@new.example) / " + U8(u8"名前： Robert B") + " me"},
      {"both ranks of a names entry", "multi-prefix",
       {":irc.test 353 me = #c :me @+bob", ":irc.test 366 me #c :End", ":bob!b@h MODE #c -o bob"},
       {"#c event " + T + " bob" + U8(u8" がモードを変えました： -o bob")},
       "+bob me"},
      {"names with login and host", "multi-prefix userhost-in-names",
       {":irc.test 353 me = #c :@me!u@h.example +carol!c@ch", ":irc.test 366 me #c :End"}, {},
       "@me (u@h.example) +carol (c@ch)"},
      {"someone else invited, and the user", "invite-notify",
       {":bob!b@h INVITE carol #c", ":bob!b@h INVITE me :#x"},
       {"#c event " + T + " bob" + U8(u8" が carol を招待しました。"), "invited bob #x"},
       "@bob carol me"},
      {"typing notices are taken quietly", "message-tags",
       {"@+typing=active :bob!b@h TAGMSG #c", "@+typing=active :bob!b@h TAGMSG me"}, {}, "@bob carol me"},
      {"a netsplit: one line a channel", "batch",
       {":irc.test BATCH +s1 netsplit a.example b.example", "@batch=s1 :bob!b@h QUIT :a.example b.example",
        "@batch=s1 :carol!c@h QUIT :a.example b.example", ":irc.test BATCH -s1"},
       {"#c event " + T + U8(u8" ネットスプリット： a.example b.example（2 人）"),
        "#d event " + T + U8(u8" ネットスプリット： a.example b.example（1 人）")},
       "me", "me"},
      {"a netjoin", "batch",
       {":irc.test BATCH +j1 netjoin a.example b.example", "@batch=j1 :dave!d@h JOIN #c",
        "@batch=j1 :dave!d@h JOIN #d", "@batch=j1 :erin!e@h JOIN #c", ":irc.test BATCH -j1"},
       {"#c event " + T + U8(u8" ネットジョイン： a.example b.example（2 人）"),
        "#d event " + T + U8(u8" ネットジョイン： a.example b.example（1 人）")},
       "@bob carol dave (d@h) erin (e@h) me", "bob dave (d@h) me"},
      {"the server's echo of the user's own lines", "echo-message",
       {":me!u@h PRIVMSG #c :hi", ":me!u@h PRIVMSG #c :\x01" "ACTION waves\x01",
        ":me!u@h PRIVMSG bob :\x01VERSION\x01", ":me!u@h NOTICE bob :\x01VERSION Tavi\x01",
        ":me!u@h NOTICE #d :note", ":me!u@h PRIVMSG zed :psst"},
       {"#c talk " + T + " [me] hi", "#c event " + T + " * me waves", "#d own " + T + " >#d< note",
        "log " + T + " >zed< psst"},
       "@bob carol me"},
      {"a bouncer's history: one block, no answers, no changes", "batch server-time",
       {":irc.test BATCH +h chathistory #c", "@batch=h;time=2006-01-01T23:58:00.000Z :bob!b@h PRIVMSG #c :me: old",
        "@batch=h;time=2006-01-01T23:59:00.000Z :bob!b@h PRIVMSG #c :\x01VERSION\x01",
        "@batch=h;time=2006-01-01T23:59:30.000Z :bob!b@h PART #c", ":irc.test BATCH -h",
        ":carol!c@h PRIVMSG #c :now"},
       {"#c event " + Begin, "#c talk 01/01 23:58 [bob] me: old", "#c event " + End, "#c talk " + T + " [carol] now"},
       "@bob carol me"},
      {"ZNC's playback without batches", "server-time",
       {":***!znc@znc.in PRIVMSG #c :Buffer Playback...",
        "@time=2006-01-02T07:00:00.000Z :bob!b@h PRIVMSG #c :\x01" "ACTION yawns\x01",
        ":***!znc@znc.in PRIVMSG #c :Playback Complete."},
       {"#c event " + Begin, "#c event 07:00 * bob yawns", "#c event " + End},
       "@bob carol me"},
      {"commands of old, tagged or not", "",
       {":bob!b@h PRIVMSG #c :hello", ":bob!b@h NOTICE #c :note", ":bob!b@h TOPIC #c :new topic",
        ":bob!b@h MODE #c +v carol", ":carol!c@h NICK karen", ":karen!c@h PART #c :bye", ":bob!b@h KICK #d me :out",
        ":bob!b@h QUIT :gone"},
       {"#c talk " + T + " [bob] hello", "#c talk " + T + " [bob] note",
        "#c event " + T + " bob" + U8(u8" がトピックを変えました： new topic"),
        "#c event " + T + " bob" + U8(u8" がモードを変えました： +v carol"), "nick carol -> karen",
        "#c event " + T + " carol" + U8(u8" は karen に名前を変えました。"),
        "#c event " + T + " karen" + U8(u8" が退室しました。（bye）"),
        "#d own " + T + " bob " + U8(u8" から追放されました。"), "#d own " + U8(u8"        理由は out"),
        "#c event " + T + " bob" + U8(u8" が IRC を終了しました。（gone）")},
       "me", ""},
  };
  for (const TCase& c : cases) {
    for (const bool tagged : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (tagged ? ", tagged" : ""));
      Restart(c.Caps);
      Channel("#c", "me @bob carol");
      Channel("#d", "me bob");
      for (const std::string& line : c.In) Feed(tagged ? Tagged(line) : line);
      EXPECT_EQ(Take(), c.Shown);
      EXPECT_EQ(TakeSent(), Lines{});
      EXPECT_EQ(Detailed("#c"), c.C);
      EXPECT_EQ(Detailed("#d"), c.D);
    }
  }
}

// Lines said while the user was away: shown as history in their own block,
// with their date, logged under their day, never a highlight or unread.
TEST_F(CapabilityUseTest, HistoryBeforeTheRegistrationNeverNotifies) {
  Restart("server-time");
  SaveConnectionOptions(TConnectionOptions::With(false, true, true));
  Connection().ReloadOptions();
  Channel("#c", "me carol");
  Feed(":irc.test 376 me :End of MOTD");
  Take();
  TakeSent();
  Lines marks;  // "h" highlight, "s" a sender: what marks windows
  QObject::connect(&Connection(), &TConnection::LineShown, [&](const TShownLine& Line) {
    marks.push_back(std::string(Line.Highlight ? "h" : "-") + (Line.Sender.empty() ? "-" : "s"));
  });
  Feed("@time=2006-01-02T08:00:00.000Z :bob!b@h PRIVMSG me :are you there");
  Feed("@time=2006-01-02T08:01:00.000Z :bob!b@h PRIVMSG me :\x01VERSION\x01");
  Feed("@time=2006-01-01T23:58:00.000Z :carol!c@h PRIVMSG #c :me: yesterday");
  // A moment ago is no history.
  Feed("@time=2006-01-02T09:04:00.000Z :bob!b@h PRIVMSG me :now");
  Feed(":carol!c@h PRIVMSG #c :me: today");
  EXPECT_EQ(Take(), (Lines{"query+ bob quietly", "query(bob) " + Begin, "query(bob) 08:00 [bob] are you there",
                           "query~ bob speakers=bob", "#c event " + Begin, "#c talk 01/01 23:58 [carol] me: yesterday",
                           "query(bob) " + End, "query(bob) 09:04 [bob] now", "#c event " + End,
                           "#c talk " + T + " [carol] me: today"}));
  EXPECT_EQ(TakeSent(), Lines{});
  EXPECT_EQ(marks, (Lines{"--", "--", "--", "--", "--", "--", "hs", "--", "hs"}));
  ASSERT_NE(session->ChatLog(), nullptr);
  session->ChatLog()->Flush();
  QFile log(session->ChatLog()->FilePath(QText(Connection().NetworkName()), "#c", TDateTime{2006, 1, 1}));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_EQ(StdText(QString::fromUtf8(log.readAll())), Begin + "\n01/01 23:58 [carol] me: yesterday\n");
}

// With echo-message the user's lines are shown once, when they come back.
TEST_F(CapabilityUseTest, AnEchoingServerShowsTheUsersLinesOnceWhenTheyComeBack) {
  struct TCase {
    std::string Typed;
    bool InQuery;
    std::string Sent;
    Lines Echoes;
    Lines Shown;
  };
  const TCase cases[] = {
      {"hello", false, "PRIVMSG #c :hello\r\n", {"@time=2006-01-02T09:04:00.000Z :me!u@h PRIVMSG #c :hello"},
       {"#c talk 09:04 [me] hello"}},
      {"/me waves", false, "PRIVMSG #c :\x01" "ACTION waves\x01\r\n", {":me!u@h PRIVMSG #c :\x01" "ACTION waves\x01"},
       {"#c event " + T + " * me waves"}},
      {"/msg bob psst", false, "PRIVMSG bob :psst\r\n", {":me!u@h PRIVMSG bob :psst"}, {"log " + T + " >bob< psst"}},
      {"/notice #c hey", false, "NOTICE #c :hey\r\n", {":me!u@h NOTICE #c :hey"}, {"#c own " + T + " >#c< hey"}},
      {"/ctcp bob version", false, "PRIVMSG bob :\x01VERSION\x01\r\n", {":me!u@h PRIVMSG bob :\x01VERSION\x01"}, {}},
      {"hi both", true, "PRIVMSG a,b :hi both\r\n", {":me!u@h PRIVMSG a :hi both", ":me!u@h PRIVMSG b :hi both"},
       {"query(a,b) " + T + " [me] hi both"}},
      // b is gone: only a's copy comes back, this time and the next.
      {"hi both", true, "PRIVMSG a,b :hi both\r\n", {":me!u@h PRIVMSG a :hi both"}, {"query(a,b) " + T + " [me] hi both"}},
      {"hi both", true, "PRIVMSG a,b :hi both\r\n", {":me!u@h PRIVMSG a :hi both"}, {"query(a,b) " + T + " [me] hi both"}},
  };
  Restart("echo-message");
  TChannel& channel = Channel("#c", "me bob");
  TQuery& query = Query("a,b");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Typed);
    const TTypedOutcome typed = RunTypedLine(Connection(), c.Typed, c.InQuery ? nullptr : &channel,
                                             c.InQuery ? &query : nullptr);
    if (typed.Kind == TTypedKind::Say) {
      if (c.InQuery)
        Connection().Say(query, typed.Text);
      else
        Connection().Say(channel, typed.Text);
    }
    EXPECT_EQ(TakeSent(), Lines{c.Sent});
    EXPECT_EQ(Take(), Lines{});
    for (const std::string& echo : c.Echoes) Feed(echo);
    EXPECT_EQ(Take(), c.Shown);
    EXPECT_EQ(TakeSent(), Lines{});
  }
}

// Whatever the server sends, batches and member fields stay bounded and
// malformed lines change nothing.
TEST_F(CapabilityUseTest, MalformedAndEndlessLinesStayBounded) {
  Restart("batch away-notify account-notify chghost setname");
  Channel("#c", "me bob");
  for (const char* line : {"BATCH", "BATCH +", "BATCH -", "BATCH -never", "BATCH x", "@batch=unknown :bob!b@h AWAY",
                           ":bob!b@h ACCOUNT", ":bob!b@h CHGHOST onlyuser", ":bob AWAY :no source nick",
                           ":bob!b@h SETNAME", ":bob!b@h CHGHOST", "@batch=s BATCH +s netsplit"})
    Feed(line);
  EXPECT_EQ(Detailed("#c"), "bob me");
  for (int i = 0; i < 100; ++i) Feed("BATCH +r" + std::to_string(i) + " netsplit a b");
  EXPECT_EQ(Connection().Playback().Batches().Count(), TBatches::MaxOpen);
  // A batch's end ends those inside it.
  Feed("@batch=r99 BATCH +inner chathistory #c");
  Feed("BATCH -r99");
  Feed("@batch=inner :bob!b@h PRIVMSG #c :live again");
  EXPECT_EQ(Connection().Playback().Batches().Count(), TBatches::MaxOpen - 2);
  Feed(":bob!b@h AWAY :" + std::string(5000, 'x'));
  Feed(":bob!b@h SETNAME :" + std::string(300, 'y') + U8(u8"日本"));
  const TMember& bob = Connection().FindChannel("#c")->Members.At(0);
  EXPECT_EQ(bob.AwayMessage.size(), TMember::MaxInfoBytes);
  EXPECT_EQ(bob.RealName.size(), TMember::MaxInfoBytes);
  EXPECT_EQ(Take(), Lines{"#c talk " + T + " [bob] live again"});
  // The connection's end drops what never ended, and ends history blocks.
  Feed("BATCH +h chathistory #c");
  Feed("@batch=h :bob!b@h PRIVMSG #c :old");
  Connection().Events().Reset();
  EXPECT_EQ(Connection().Playback().Batches().Count(), 0u);
  EXPECT_EQ(Take(), (Lines{"#c event " + Begin, "#c talk " + T + " [bob] old", "#c event " + End}));
}

}  // namespace
}  // namespace tavi::test
