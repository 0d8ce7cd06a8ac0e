// What a connection knows of its network: the channels it has windows for,
// with their members and modes, and the private conversations (queries).
// The windows show it; the handlers of server lines keep it up to date.
#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kanji/WireText.h"
#include "protocol/CaseMapping.h"
#include "protocol/ChannelState.h"

namespace tavi {

// One member of a channel: known by its nick, shown with its rank.
struct TMember {
  // What the server tells of a member is kept to this many bytes a field.
  static constexpr std::size_t MaxInfoBytes = 200;

  TMember() = default;
  TMember(std::string NickName, std::string RankSymbols) : Nick(std::move(NickName)), Ranks(std::move(RankSymbols)) {}

  std::string Nick;   // without a rank symbol
  std::string Ranks;  // the symbols of the ranks held, highest first ("@+")
  // As far as the server told: login and host, the account logged in to
  // (empty: none or not known), the real name, and the away mark.
  std::string User;
  std::string Host;
  std::string Account;
  std::string RealName;
  bool Away = false;
  std::string AwayMessage;

  // As the member pane lists it: the highest rank's symbol + nick.
  std::string Entry() const {
    std::string entry = Ranks.substr(0, 1);
    return entry.append(Nick);
  }
  // What the member pane's tip says of the member, a line a field known.
  std::string ToolTip() const;
};

// Text from the server as a member keeps it: cut between characters.
std::string MemberInfo(std::string_view Text);

// The members of one channel, each once (the same nick in any case is one
// member), sorted by rank, highest first, then by name without regard to
// case. The member pane's model; finding a member is one hash probe and a
// binary search, so that a netsplit's QUITs do not scan tens of thousands.
class TMemberList : public QAbstractListModel {
  Q_OBJECT
 public:
  enum TRole { NickRole = Qt::UserRole, OperatorRole, EntryBytesRole, RankRole, AwayRole };

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  // DisplayRole: the entry as text; EntryBytesRole: its bytes; RankRole:
  // 0 for the highest rank, the number of ranks for none; ToolTipRole: what
  // is known of the member.
  QVariant data(const QModelIndex& Index, int Role) const override;

  int Count() const { return static_cast<int>(rows_.size()); }
  int OperatorCount() const { return operators_; }
  const TMember& At(int Row) const { return rows_[static_cast<std::size_t>(Row)]->Member; }
  bool IsOperator(const TMember& Member) const { return prefixes_.IsOperator(Member.Ranks); }
  // Nicks are one in any case as the server folds them, and ranks are the
  // server's; the list is sorted again when the server says what they are.
  void SetCaseMapping(TCaseMapping Mapping);
  void SetPrefixes(const TRankPrefixes& Prefixes);
  const TRankPrefixes& Prefixes() const { return prefixes_; }
  // A names reply entry ("@+nick", "nick", "@nick!user@host") as a member.
  TMember FromEntry(std::string_view Entry) const;
  // The row of Nick (any case), -1 when not listed.
  int Find(std::string_view Nick) const;
  // Adds Member, or replaces the member listed under the same nick.
  void Add(TMember Member);
  // Replaces the member at Row; one listed under the new nick already is
  // the same member and goes.
  void Set(int Row, TMember Member);
  // Gives or takes the rank of a mode letter (o, v, ...) from Nick.
  void SetRank(std::string_view Nick, char Mode, bool Given);
  void Remove(int Row);
  void Clear();
  // Every entry as listed, in order.
  std::vector<std::string> Entries() const;

 private:
  struct TNode {
    TMember Member;
    std::string Key;  // the nick as the server folds it
    int Rank = 0;
  };
  bool Before(const TNode& A, const TNode& B) const;
  int RowOf(const TNode* Node) const;
  void Insert(std::unique_ptr<TNode> Node);
  void Resort();

  std::string Key(std::string_view Nick) const { return NameKey(Nick, mapping_); }

  std::vector<std::unique_ptr<TNode>> rows_;
  TCaseMapping mapping_ = TCaseMapping::Rfc1459;
  TRankPrefixes prefixes_;
  int operators_ = 0;
  std::unordered_map<std::string, TNode*> index_;
};

// The state of one channel window: its members, its modes and what the
// commands of the window wait for.
// The encoding a conversation is written to in: the one the user fixed,
// else the one its members' lines came in last, else the network's.
struct TWriting {
  TWireEncoding Heard = TWireEncoding::Ascii;  // Ascii: none heard yet
  TWireEncoding Chosen = TWireEncoding::Ascii;  // Ascii: not fixed
  TWireEncoding For(TWireEncoding Network) const {
    if (Chosen != TWireEncoding::Ascii) return Chosen;
    return Heard != TWireEncoding::Ascii ? Heard : Network;
  }
  void Hear(TWireEncoding Encoding) {
    if (Encoding != TWireEncoding::Ascii) Heard = Encoding;
  }
};

// "JIS", "Shift-JIS", "UTF-8"; Ascii (not fixed) is "自動".
std::string EncodingName(TWireEncoding Encoding);

// A typed "/charset [auto|jis|sjis|utf-8]" (any case; "／" too): fixes or
// frees the conversation's encoding. False when Typed is no such command;
// Reply is what the window shows.
bool ApplyCharsetCommand(const std::string& Typed, TWriting& Writing, TWireEncoding Network, std::string& Reply);

class TChannel {
 public:
  // WireName: the name's bytes as the server knows them; Name: its text.
  TChannel(std::string WireName, std::string Name);

  const std::string& WireName() const { return wireName_; }
  // The name as text, and as windows and logs show it.
  const std::string& Name() const { return name_; }
  const QString& Title() const { return title_; }
  TMemberList Members;
  TWriting Writing;

  bool Joined = false;
  // The connection ended with the window open: it stays, marked, until the
  // next registration.
  bool Offline = false;
  std::string Topic;
  bool PrivateMode = false;
  bool SecretMode = false;
  bool InviteMode = false;
  bool TopicMode = false;
  bool MessageMode = false;
  bool ModeratedMode = false;
  bool LimitMode = false;
  std::int32_t LimitNumber = 0;
  bool KeyWordMode = false;
  std::string KeyWord;
  bool SpeechMode = false;
  // A names reply is arriving: its 353 lines fill the list until its 366.
  bool NamesReplyOpen = false;
  // The ban list: asked for (a ban mask editor waits), as received, and the
  // changes the editor made.
  bool BanMaskPending = false;
  std::vector<std::string> BanMaskList;
  std::string BanMaskArgs;
  std::string BanMaskModes;
  // The last CTCP PING sent from this window, until its reply.
  std::uint32_t PingSentTime = 0;
  std::uint32_t PingReplyTime = 0;
  std::string PingToken;

  // Back to the state of a channel not joined.
  void Reset();

  // Nick spoke here: the latest speakers are offered first for completion.
  void Spoke(const std::string& Nick);
  // The members' nicks, the latest speakers first, then in list order.
  std::vector<std::string> NicksByActivity() const;

 private:
  std::string wireName_;
  std::string name_;
  QString title_;
  std::vector<std::string> speakers_;  // latest first, a bounded few
};

// A private conversation: the members every line goes to, and the nicks
// that have spoken in it.
class TQuery {
 public:
  // Caption: the comma-joined member list, what the window's lines go to.
  std::string Caption;
  std::vector<std::string> MemberList;
  TWriting Writing;
  bool Offline = false;  // as a channel's

  const std::vector<std::string>& Speakers() const { return speakers_; }
  // Speakers are found without regard to case; the empty nick of server
  // notices counts as one.
  bool HasSpeaker(std::string_view Nick) const;
  void AddSpeaker(const std::string& Nick);
  void RemoveSpeaker(std::string_view Nick);  // the first match
  void ReplaceSpeaker(std::string_view Old, const std::string& New);

  // A caption that stands for Nick: a member list naming it anywhere, or
  // the nick itself.
  bool StandsFor(std::string_view Nick) const;

 private:
  std::vector<std::string> speakers_;
};

}  // namespace tavi
