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
#include <vector>

#include "kanji/WireText.h"
#include "protocol/CaseMapping.h"

namespace tavi {

// One member of a channel as the server lists it.
struct TMember {
  std::string Nick;  // without its "@"
  bool Operator = false;

  // As the member pane lists it: "@" + nick for an operator.
  std::string Entry() const { return Operator ? "@" + Nick : Nick; }
  // A names reply entry ("@nick" or "nick") as a member.
  static TMember FromEntry(std::string_view Entry);
};

// The members of one channel in the order they came, each once: the same
// nick in any case is one member. The member pane's model; a lookup is one
// hash probe, so that a netsplit's QUITs do not scan tens of thousands.
class TMemberList : public QAbstractListModel {
  Q_OBJECT
 public:
  enum TRole { NickRole = Qt::UserRole, OperatorRole, EntryBytesRole };

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  // DisplayRole: the entry as text; EntryBytesRole: its bytes.
  QVariant data(const QModelIndex& Index, int Role) const override;

  int Count() const { return static_cast<int>(rows_.size()); }
  const TMember& At(int Row) const { return rows_[static_cast<std::size_t>(Row)]->Member; }
  // Nicks are one in any case as the server folds them; the list is keyed
  // again when the server says how.
  void SetCaseMapping(TCaseMapping Mapping);
  // The row of Nick (any case), -1 when not listed.
  int Find(std::string_view Nick) const;
  // Adds Member, or replaces the member listed under the same nick.
  void Add(TMember Member);
  // Replaces the member at Row; one listed under the new nick already is
  // the same member and goes.
  void Set(int Row, TMember Member);
  void Remove(int Row);
  void Clear();
  // Every entry as listed, in order.
  std::vector<std::string> Entries() const;

 private:
  struct TNode {
    TMember Member;
    // Where the member was last found. A removal moves the rows behind it
    // up, so the true row is at most this; it is looked for from here down.
    mutable int Row = 0;
  };
  int RowOf(const TNode* Node) const;

  std::string Key(std::string_view Nick) const { return NameKey(Nick, mapping_); }

  std::vector<std::unique_ptr<TNode>> rows_;
  TCaseMapping mapping_ = TCaseMapping::Rfc1459;
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

 private:
  std::string wireName_;
  std::string name_;
  QString title_;
};

// A private conversation: the members every line goes to, and the nicks
// that have spoken in it.
class TQuery {
 public:
  // Caption: the comma-joined member list, what the window's lines go to.
  std::string Caption;
  std::vector<std::string> MemberList;
  TWriting Writing;

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
