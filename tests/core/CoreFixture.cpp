#include "CoreFixture.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/DesktopSettings.h"
#include "platform/Platform.h"

namespace tavi::test {

namespace {

// The desktop settings and logs go to folders of the test run's own. Qt
// reads the variables once, at the first QSettings: set before any test.
class TUserFolders : public ::testing::Environment {
 public:
  void SetUp() override {
    home_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(home_->isValid());
    ::setenv("XDG_CONFIG_HOME", home_->filePath(QStringLiteral("config")).toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", home_->filePath(QStringLiteral("data")).toLocal8Bit().constData(), 1);
  }
  void TearDown() override { home_.reset(); }

 private:
  std::unique_ptr<QTemporaryDir> home_;
};

[[maybe_unused]] ::testing::Environment* const userFolders = ::testing::AddGlobalTestEnvironment(new TUserFolders);

std::string Join(const std::vector<std::string>& Parts, const std::string& Separator) {
  std::string text;
  for (const std::string& part : Parts) text += (&part == &Parts.front() ? "" : Separator) + part;
  return text;
}

const char* Name(TConnectionState State) {
  static const char* const names[] = {"Idle",       "Connecting", "AwaitingTrust",     "Registering",
                                      "Registered", "WaitingToReconnect", "Closing"};
  return names[static_cast<int>(State)];
}

const char* Name(TWhoisField Field) {
  static const char* const names[] = {"Nick", "Login", "Host", "RealName", "Server", "Operator", "Idle", "Channels"};
  return names[static_cast<int>(Field)];
}

const char* Name(TOpening Opening) { return Opening == TOpening::Activate ? "active" : "quietly"; }

}  // namespace

Lines Of(const Lines& Events, const std::string& Prefix) {
  Lines found;
  for (const std::string& event : Events)
    if (event.rfind(Prefix, 0) == 0) found.push_back(event);
  return found;
}

TEventRecorder::TEventRecorder(TConnection& C) {
  const std::string date = U8(u8"日付： ") + Platform().ShortDateText(Platform().Now());
  connect(&C, &TConnection::LineShown, this, [this, date](const TShownLine& Line) {
    const std::string text = StdText(Line.Text);
    if (!KeepDateLines && text == date) return;
    static const char* const kinds[] = {"talk", "own", "event"};
    if (Line.Channel)
      Add(Line.Channel->Name() + " " + kinds[static_cast<int>(Line.Kind)] + " " + text);
    else if (Line.Query)
      Add("query(" + Line.Query->Caption + ") " + text);
    else
      Add("log " + text);
  });
  connect(&C, &TConnection::ChannelAdded, this,
          [this](TChannel* Channel, TOpening Opening) { Add("channel+ " + Channel->Name() + " " + Name(Opening)); });
  connect(&C, &TConnection::ChannelRemoved, this, [this](TChannel* Channel) { Add("channel- " + Channel->Name()); });
  connect(&C, &TConnection::QueryAdded, this,
          [this](TQuery* Query, TOpening Opening) { Add("query+ " + Query->Caption + " " + Name(Opening)); });
  connect(&C, &TConnection::QueryChanged, this, [this](TQuery* Query) {
    Add("query~ " + Query->Caption + " speakers=" + Join(Query->Speakers(), ","));
  });
  connect(&C, &TConnection::QueryRemoved, this, [this](TQuery* Query) { Add("query- " + Query->Caption); });
  connect(&C, &TConnection::StateChanged, this, [this](TConnectionState State) { Add(std::string("state ") + Name(State)); });
  connect(&C, &TConnection::StatusTextChanged, this, [this](const std::string& Text) { Add("status " + Text); });
  connect(&C, &TConnection::TrustQuestion, this, [this](const TQuestion& Question) {
    TrustText = Question.Text;
    Add("trust? " + Join(Question.Choices, "/"));
  });
  connect(&C, &TConnection::MessageForUser, this, [this](const std::string& Text) { Add("message " + Text); });
  connect(&C, &TConnection::WhoisColoured, this, [this](TWhoisColour Colour) {
    Add(Colour == TWhoisColour::Whois ? "whois colour Whois" : "whois colour Whowas");
  });
  connect(&C, &TConnection::WhoisValue, this,
          [this](TWhoisField Field, const std::string& Text) { Add(std::string("whois ") + Name(Field) + "=" + Text); });
  connect(&C, &TConnection::WhoisEnded, this, [this] { Add("whois end"); });
  connect(&C, &TConnection::VersionReplied, this, [this](const std::string& Version) { Add("version " + Version); });
  connect(&C, &TConnection::AdminReplied, this, [this](const std::vector<std::string>& L) { Add("admin " + Join(L, "|")); });
  connect(&C, &TConnection::ListingLine, this, [this](const std::string& Line) { Add("listing " + Line); });
  connect(&C, &TConnection::ListingEnded, this, [this](const std::string& Caption) { Add("listing end " + Caption); });
  connect(&C, &TConnection::IsonReplied, this, [this](const std::vector<std::string>& Nicks) { Add("ison " + Join(Nicks, " ")); });
  connect(&C, &TConnection::ServerErrorReplied, this, [this](const std::string& Text) { Add("error " + Text); });
  connect(&C, &TConnection::Invited, this,
          [this](const std::string& Inviter, const std::string& Channel) { Add("invited " + Inviter + " " + Channel); });
  connect(&C, &TConnection::BanListEnded, this, [this](TChannel* Channel) { Add("banlist " + Channel->Name()); });
  connect(&C, &TConnection::NickRejected, this, [this] { Add("nick rejected"); });
  connect(&C, &TConnection::NickChanged, this,
          [this](const std::string& Old, const std::string& New) { Add("nick " + Old + " -> " + New); });
}

bool TFakeDccDesk::Resume(TConnection&, const std::string& Nick, const TDccOffer& Offer) {
  Calls.push_back("resume " + Nick + " " + Offer.Argument + " " + Offer.Port + " " + Offer.Size);
  return TakesAnswers;
}

bool TFakeDccDesk::Accept(TConnection&, const std::string& Nick, const TDccOffer& Offer) {
  Calls.push_back("accept " + Nick + " " + Offer.Argument + " " + Offer.Port + " " + Offer.Size);
  return TakesAnswers;
}

void TFakeDccDesk::Offer(TConnection&, const std::string& Nick, const TDccOffer& Offer, std::function<void()> Answered) {
  Calls.push_back("offer " + Nick + " " + Offer.Type + " " + Offer.Argument + " " + Offer.Address + " " + Offer.Port +
                  (Offer.Size.empty() ? "" : " " + Offer.Size));
  Answer = std::move(Answered);
}

void CoreFixture::SetUp() {
  SetPlatform(&platform);
  // Options start at their defaults (reconnecting on, TLS and logs off), in
  // the test run's folder, never the user's.
  ASSERT_TRUE(OpenDesktopSettings()->fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + "/"));
  OpenDesktopSettings()->clear();
  session = std::make_unique<TSession>();
  session->VersionText = "Tavi 1.0";
  // Lines go out in UTF-8, so that sent texts compare with their literals;
  // the encodings have tests of their own.
  session->Grobal().UTF8Choice = true;
  session->SetDccDesk(&desk);
  Connection().SetLineSink([this](const std::string& Line) { Sent.push_back(Line); });
  Connection().Own.CurrentNick = "me";
  recorder = std::make_unique<TEventRecorder>(Connection());
}

void CoreFixture::TearDown() {
  recorder.reset();
  session.reset();
  SetPlatform(nullptr);
}

Lines CoreFixture::Take() { return std::exchange(recorder->Events, {}); }
Lines CoreFixture::TakeSent() { return std::exchange(Sent, {}); }

TChannel& CoreFixture::Joined(const std::string& Name) {
  Feed(":" + Connection().Own.CurrentNick + "!u@h JOIN :" + Name);
  Take();
  TakeSent();
  TChannel* channel = Connection().FindChannel(Name);
  EXPECT_NE(channel, nullptr) << Name;
  return *channel;
}

TChannel& CoreFixture::Channel(const std::string& Name, const std::string& Names) {
  TChannel& channel = Joined(Name);
  Feed(":irc.test 353 me = " + Name + " :" + Names);
  Feed(":irc.test 366 me " + Name + " :End of NAMES list.");
  Take();
  return channel;
}

TQuery& CoreFixture::Query(const std::string& Caption, const Lines& Speakers) {
  std::vector<std::string> members;
  for (std::size_t start = 0; start <= Caption.size();) {
    const std::size_t end = std::min(Caption.find(',', start), Caption.size());
    members.push_back(Caption.substr(start, end - start));
    start = end + 1;
  }
  TQuery* query = Connection().OpenQuery(Caption, members, TOpening::Quietly);
  for (const std::string& nick : Speakers) query->AddSpeaker(nick);
  Take();
  return *query;
}

std::string CoreFixture::Members(const std::string& Name) const {
  const TChannel* channel = session->Connection().FindChannel(Name);
  return channel ? Join(channel->Members.Entries(), " ") : "<no channel>";
}

}  // namespace tavi::test
