// The handlers of server lines: one slot of the dispatcher table each. They
// keep the connection's model (channels, members, queries) and the user's
// own state in step with what the server says, answer CTCP queries within
// their rations, and tell through the connection's signals what windows are
// to show. They never block: what needs the user runs after the line.
// The definitions are split by subject: ChannelEvents.cpp (channel and nick
// state), MessageEvents.cpp (messages, notices, CTCP), QueryEvents.cpp
// (query replies and server errors) and EventProcessor.cpp (registration and
// server status).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/CommandLex.h"
#include "protocol/Ctcp.h"

namespace tavi {

class TChannel;
class TConnection;
class TQuery;
struct TBatch;
struct TMember;
enum class TWhoisColour;

// Entries of one list answer taken; those past the bound are only counted,
// so that a list without end cannot grow without end.
struct TListCap {
  static constexpr int MaxEntries = 10000;
  int Taken = 0;
  int LeftOut = 0;
  // True while the bound leaves room for one more entry.
  bool Take() {
    if (Taken < MaxEntries) return ++Taken, true;
    ++LeftOut;
    return false;
  }
  void Reset() { Taken = LeftOut = 0; }
};

// The line a list window ends with when Count entries were left out.
std::string LeftOutText(int Count);

// What the query reply handlers keep between the replies of one answer.
struct TQueryReplyState {
  bool WhoIsReplyPending = false;   // a WHOIS reply wrote since the last 318
  bool WhoWasReplyPending = false;  // a 314 wrote since the last 369
  std::string AdminLine1;           // 256, 257 and 258, kept for 259
  std::string AdminLine2;
  std::string AdminLine3;
  TListCap List;      // LIST entries (322)
  TListCap Names;     // names listing lines (353, when asked for)
  TListCap BanMasks;  // ban list entries (367)
};

class TEventProcessor : public TServerHandlers {
 public:
  explicit TEventProcessor(TConnection& Connection) : c_(Connection) {}

  void ErrorCommand(TToken Token) override;
  void NickCommand(TToken Token) override;
  void JoinCommand(TToken Token) override;
  void PartCommand(TToken Token) override;
  void PrivmsgCommand(TToken Token) override;
  void NoticeCommand(TToken Token) override;
  void QuitCommand(TToken Token) override;
  void ModeCommand(TToken Token) override;
  void TopicCommand(TToken Token) override;
  void PingCommand(TToken Token) override;
  void InviteCommand(TToken Token) override;
  void KickCommand(TToken Token) override;
  void Welcome001(TToken Token) override;
  void UserModeIs221(TToken Token) override;
  void AdminMe256(TToken Token) override;
  void AdminLoc1_257(TToken Token) override;
  void AdminLoc2_258(TToken Token) override;
  void AdminEmail259(TToken Token) override;
  void Away301(TToken Token) override;
  void Ison303(TToken Token) override;
  void UnAway305(TToken Token) override;
  void NowAway306(TToken Token) override;
  void WhoisUser311(TToken Token) override;
  void WhoisServer312(TToken Token) override;
  void WhoisOperator313(TToken Token) override;
  void WhowasUser314(TToken Token) override;
  void WhoisIdle317(TToken Token) override;
  void EndOfWhois318(TToken Token) override;
  void WhoisChannels319(TToken Token) override;
  void List322(TToken Token) override;
  void ListEnd323(TToken Token) override;
  void NoTopic331(TToken Token) override;
  void Topic332(TToken Token) override;
  void Inviting341(TToken Token) override;
  void Version351(TToken Token) override;
  void NamesReply353(TToken Token) override;
  void EndOfNames366(TToken Token) override;
  void BanList367(TToken Token) override;
  void EndOfBanList368(TToken Token) override;
  void EndOfWhowas369(TToken Token) override;
  void Motd372(TToken Token) override;
  void MotdStart375(TToken Token) override;
  void EndOfMotd376(TToken Token) override;
  void NoMotd422(TToken Token) override;
  void ServerError(TToken Token) override;
  bool NickRefused(const TToken& Token) override;
  void BatchCommand(TToken Token) override;
  void AwayCommand(TToken Token) override;
  void AccountCommand(TToken Token) override;
  void ChghostCommand(TToken Token) override;
  void SetnameCommand(TToken Token) override;
  bool Takes(const TMessage& Message) override;

  // A CTCP DCC offer from Nick: a chat, a file, an answer about one of
  // ours, or a refused type.
  void HandDccOffer(const std::string& Nick, const std::string& Text);

  // The server's word on the user's nick (001, own NICK): used when
  // plausible, saved to the settings only when it is the nick the user
  // typed.
  void AdoptOwnNick(const std::string& Nick);
  // Sets the user's own mode flags from the second parameter of a MODE on
  // the own nickname (changes) or of the 221 reply (WholeSet).
  void ApplyUserModeText(std::string_view Params2, bool WholeSet = false);

  // The connection ended: answers that were still coming are forgotten (a
  // DCC question the user still has open stays open).
  void Reset();

 private:
  void ApplyChannelMode(TChannel& Channel, const struct TChannelModeChange& Change);
  // A private line from Nick: into the query that stands for Nick, or a new
  // one (rationed).
  void ShowPrivateLine(const std::string& Nick, const std::string& Line);
  void OpenQueryWith(const std::string& Nick, const std::string& Line);
  void ShowAction(const std::string& Nick, const std::string& Target, const std::string& Text);
  void ShowPingReply(const std::string& Nick, const std::string& Text);
  void AnswerCtcp(const std::string& Nick, const std::string& Query, const std::string& Text);
  int ChannelCount() const;
  // The nick, login, host and real name of a WHOIS or WHOWAS answer.
  void ShowWhoisUser(const TToken& Token, TWhoisColour Colour);
  // Changes what is known of Nick in every channel it is in.
  void ChangeMember(const std::string& Nick, const std::function<void(TMember&)>& Change);
  // The batch of Type ("netsplit", "netjoin") the line being handled is in.
  TBatch* MassChange(std::string_view Type);
  // A netsplit's or netjoin's one line in each channel it touched.
  void ShowMassChange(const TBatch& Batch);
  // The user's own message or notice as the server echoes it, or as a
  // bouncer's history has it.
  void ShowOwnLine(const std::string& Target, const std::string& Text, bool Notice);
  // ZNC's lines around a window's playback: true when Text is one.
  bool TakePlaybackMark(const std::string& Nick, const std::string& WireTarget, const std::string& Text);

  TConnection& c_;
  // A DCC offer is being put to the user; further offers are refused.
  bool dccQuestionOpen_ = false;
  TQueryReplyState replyState_;
  // Answers to CTCP queries are rationed so that a burst of queries cannot
  // make us flood the server.
  TCtcpRateLimiter ctcpReplyLimiter_;
  // Queries that other people's lines may open: 10 a minute.
  TRateLimiter queryRate_{10, 60000};
  // A line to a talk window of several members comes back once for each:
  // the last one shown, and the members whose copy is still to come.
  struct TOwnEcho {
    const TQuery* Query = nullptr;
    std::string Text;
    std::vector<std::string> Pending;
  } ownEcho_;
};

}  // namespace tavi
