#include "core/Model.h"

#include <QByteArray>
#include <algorithm>

#include "kanji/QtText.h"

namespace tavi {

// --- the member list ---

std::string MemberInfo(std::string_view Text) {
  return std::string(Text.substr(0, FitWireBytes(Text, TWireEncoding::Utf8, TMember::MaxInfoBytes)));
}

std::string TMember::ToolTip() const {
  std::string tip = Nick;
  if (!User.empty() || !Host.empty()) tip += " (" + User + "@" + Host + ")";
  if (!Account.empty()) tip += "\n" + U8(u8"アカウント： ") + Account;
  if (!RealName.empty()) tip += "\n" + U8(u8"名前： ") + RealName;
  if (Away) tip += "\n" + U8(u8"不在") + (AwayMessage.empty() ? "" : U8(u8"： ") + AwayMessage);
  return tip;
}

namespace {

// The rank a member sorts by: its highest, or below every rank for none.
int RankOf(const TMember& Member, const TRankPrefixes& Prefixes) {
  return Member.Ranks.empty() ? Prefixes.Count() : Prefixes.RankOfSymbol(Member.Ranks.front());
}

}  // namespace

int TMemberList::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Count(); }

QVariant TMemberList::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() < 0 || Index.row() >= Count()) return {};
  const TNode& node = *rows_[static_cast<std::size_t>(Index.row())];
  switch (Role) {
    case Qt::DisplayRole: return QText(node.Member.Entry());
    case NickRole: return QByteArray::fromStdString(node.Member.Nick);
    case OperatorRole: return IsOperator(node.Member);
    case EntryBytesRole: return QByteArray::fromStdString(node.Member.Entry());
    case RankRole: return node.Rank;
    case AwayRole: return node.Member.Away;
    case Qt::ToolTipRole: return QText(node.Member.ToolTip());
    default: return {};
  }
}

TMember TMemberList::FromEntry(std::string_view Entry) const {
  auto [ranks, nick] = SplitRanks(Entry, prefixes_);
  TMember member{std::move(nick), std::move(ranks)};
  // With userhost-in-names the entry carries the login and host.
  const std::size_t bang = Entry.find('!', Entry.find(member.Nick));
  if (!member.Nick.empty() && bang != std::string_view::npos) {
    const std::string_view userHost = Entry.substr(bang + 1);
    const std::size_t at = userHost.find('@');
    member.User = MemberInfo(userHost.substr(0, at));
    if (at != std::string_view::npos) member.Host = MemberInfo(userHost.substr(at + 1));
  }
  return member;
}

bool TMemberList::Before(const TNode& A, const TNode& B) const {
  if (A.Rank != B.Rank) return A.Rank < B.Rank;
  if (A.Key != B.Key) return A.Key < B.Key;
  return A.Member.Nick < B.Member.Nick;
}

int TMemberList::RowOf(const TNode* Node) const {
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), Node,
                                   [this](const auto& Row, const TNode* N) { return Before(*Row, *N); });
  return it != rows_.end() && it->get() == Node ? static_cast<int>(it - rows_.begin()) : -1;
}

int TMemberList::Find(std::string_view Nick) const {
  const auto it = index_.find(Key(Nick));
  return it == index_.end() ? -1 : RowOf(it->second);
}

void TMemberList::Insert(std::unique_ptr<TNode> Node) {
  const auto at = std::lower_bound(rows_.begin(), rows_.end(), Node,
                                   [this](const auto& Row, const auto& N) { return Before(*Row, *N); });
  const int row = static_cast<int>(at - rows_.begin());
  beginInsertRows(QModelIndex(), row, row);
  if (IsOperator(Node->Member)) ++operators_;
  index_[Node->Key] = Node.get();
  rows_.insert(at, std::move(Node));
  endInsertRows();
}

void TMemberList::Add(TMember Member) {
  if (const int row = Find(Member.Nick); row >= 0) {
    Set(row, std::move(Member));
    return;
  }
  auto node = std::make_unique<TNode>();
  node->Key = Key(Member.Nick);
  node->Rank = RankOf(Member, prefixes_);
  node->Member = std::move(Member);
  Insert(std::move(node));
}

void TMemberList::Set(int Row, TMember Member) {
  if (Row < 0 || Row >= Count()) return;
  TNode* node = rows_[static_cast<std::size_t>(Row)].get();
  const int rank = RankOf(Member, prefixes_);
  if (node->Member.Nick == Member.Nick && node->Rank == rank) {
    if (IsOperator(node->Member) != IsOperator(Member)) operators_ += IsOperator(Member) ? 1 : -1;
    node->Member = std::move(Member);
    const QModelIndex at = index(Row);
    emit dataChanged(at, at);
    return;
  }
  // Moves: out of its place, and in again where its rank and name sort.
  Remove(Row);
  Add(std::move(Member));
}

void TMemberList::SetRank(std::string_view Nick, char Mode, bool Given) {
  const int row = Find(Nick);
  const int rank = prefixes_.RankOfMode(Mode);
  if (row < 0 || rank >= prefixes_.Count()) return;
  TMember member = At(row);
  const char symbol = prefixes_.Symbols[static_cast<std::size_t>(rank)];
  const bool held = member.Ranks.find(symbol) != std::string::npos;
  if (held == Given) return;
  if (Given) {
    member.Ranks += symbol;
    member.Ranks = SplitRanks(member.Ranks, prefixes_).first;
  } else {
    std::erase(member.Ranks, symbol);
  }
  Set(row, std::move(member));
}

void TMemberList::Remove(int Row) {
  if (Row < 0 || Row >= Count()) return;
  beginRemoveRows(QModelIndex(), Row, Row);
  const auto it = rows_.begin() + Row;
  if (IsOperator((*it)->Member)) --operators_;
  index_.erase((*it)->Key);
  rows_.erase(it);
  endRemoveRows();
}

void TMemberList::Resort() {
  beginResetModel();
  std::vector<std::unique_ptr<TNode>> rows = std::move(rows_);
  rows_.clear();
  index_.clear();
  operators_ = 0;
  for (auto& node : rows) {
    node->Key = Key(node->Member.Nick);
    // Symbols the new ranks do not know are dropped.
    std::erase_if(node->Member.Ranks, [this](char S) { return prefixes_.RankOfSymbol(S) >= prefixes_.Count(); });
    node->Rank = RankOf(node->Member, prefixes_);
    // Two spellings that fold together now are one member.
    if (index_.contains(node->Key)) continue;
    if (IsOperator(node->Member)) ++operators_;
    index_[node->Key] = node.get();
    rows_.push_back(std::move(node));
  }
  std::sort(rows_.begin(), rows_.end(), [this](const auto& A, const auto& B) { return Before(*A, *B); });
  endResetModel();
}

void TMemberList::SetCaseMapping(TCaseMapping Mapping) {
  if (Mapping == mapping_) return;
  mapping_ = Mapping;
  Resort();
}

void TMemberList::SetPrefixes(const TRankPrefixes& Prefixes) {
  if (Prefixes == prefixes_) return;
  prefixes_ = Prefixes;
  Resort();
}

void TMemberList::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  index_.clear();
  operators_ = 0;
  endResetModel();
}

std::vector<std::string> TMemberList::Entries() const {
  std::vector<std::string> entries;
  entries.reserve(rows_.size());
  for (const auto& node : rows_) entries.push_back(node->Member.Entry());
  return entries;
}

// --- the channel ---

void TChannel::Spoke(const std::string& Nick) {
  constexpr std::size_t Remembered = 64;
  std::erase(speakers_, Nick);
  speakers_.insert(speakers_.begin(), Nick);
  if (speakers_.size() > Remembered) speakers_.pop_back();
}

std::vector<std::string> TChannel::NicksByActivity() const {
  std::vector<std::string> nicks;
  nicks.reserve(static_cast<std::size_t>(Members.Count()));
  for (const std::string& nick : speakers_)
    if (Members.Find(nick) >= 0) nicks.push_back(nick);
  for (int row = 0; row < Members.Count(); ++row)
    if (std::find(speakers_.begin(), speakers_.end(), Members.At(row).Nick) == speakers_.end())
      nicks.push_back(Members.At(row).Nick);
  return nicks;
}

// --- the encoding of a conversation ---

std::string EncodingName(TWireEncoding Encoding) {
  switch (Encoding) {
    case TWireEncoding::Jis: return "JIS";
    case TWireEncoding::Sjis: return "Shift-JIS";
    case TWireEncoding::Utf8: return "UTF-8";
    default: return "自動";
  }
}

bool ApplyCharsetCommand(const std::string& Typed, TWriting& Writing, TWireEncoding Network, std::string& Reply) {
  std::string_view text = Typed;
  if (text.starts_with("／"))
    text.remove_prefix(std::string_view("／").size());
  else if (text.starts_with("/"))
    text.remove_prefix(1);
  else
    return false;
  const std::string word = NameKey(text.substr(0, text.find(' ')), TCaseMapping::Ascii);
  if (word != "charset") return false;
  const std::size_t space = text.find(' ');
  std::string argument =
      space == std::string_view::npos ? std::string() : NameKey(text.substr(space + 1), TCaseMapping::Ascii);
  while (!argument.empty() && argument.back() == ' ') argument.pop_back();
  if (argument == "jis" || argument == "iso-2022-jp") {
    Writing.Chosen = TWireEncoding::Jis;
  } else if (argument == "sjis" || argument == "shift-jis" || argument == "shift_jis" || argument == "cp932") {
    Writing.Chosen = TWireEncoding::Sjis;
  } else if (argument == "utf-8" || argument == "utf8") {
    Writing.Chosen = TWireEncoding::Utf8;
  } else if (argument == "auto") {
    Writing.Chosen = TWireEncoding::Ascii;
  } else if (!argument.empty()) {
    Reply = "/charset auto | jis | sjis | utf-8";
    return true;
  }
  Reply = "送信する文字コード： " + EncodingName(Writing.For(Network)) +
          (Writing.Chosen == TWireEncoding::Ascii ? "（自動）" : "（固定）");
  return true;
}

// --- channels and queries ---

TChannel::TChannel(std::string WireName, std::string Name)
    : wireName_(std::move(WireName)), name_(std::move(Name)), title_(QText(name_)) {}

void TChannel::Reset() {
  Joined = false;
  BanMaskList.clear();
  PrivateMode = SecretMode = InviteMode = TopicMode = MessageMode = ModeratedMode = false;
  LimitMode = false;
  LimitNumber = 0;
  KeyWordMode = false;
  KeyWord.clear();
  SpeechMode = false;
  Topic.clear();
}

bool TQuery::HasSpeaker(std::string_view Nick) const {
  return std::any_of(speakers_.begin(), speakers_.end(), [&](const std::string& N) { return SameName(N, Nick); });
}

void TQuery::AddSpeaker(const std::string& Nick) { speakers_.push_back(Nick); }

void TQuery::RemoveSpeaker(std::string_view Nick) {
  const auto it =
      std::find_if(speakers_.begin(), speakers_.end(), [&](const std::string& N) { return SameName(N, Nick); });
  if (it != speakers_.end()) speakers_.erase(it);
}

void TQuery::ReplaceSpeaker(std::string_view Old, const std::string& New) {
  const auto it =
      std::find_if(speakers_.begin(), speakers_.end(), [&](const std::string& N) { return SameName(N, Old); });
  if (it != speakers_.end()) *it = New;
}

bool TQuery::StandsFor(std::string_view Nick) const {
  if (Caption.find(',') != std::string::npos && NameKey(Caption).find(NameKey(Nick)) != std::string::npos) return true;
  return SameName(Caption, Nick);
}

}  // namespace tavi
