#include "core/Model.h"

#include <QByteArray>
#include <algorithm>

#include "kanji/QtText.h"

namespace tavi {

TMember TMember::FromEntry(std::string_view Entry) {
  TMember member;
  member.Operator = !Entry.empty() && Entry.front() == '@';
  member.Nick.assign(member.Operator ? Entry.substr(1) : Entry);
  return member;
}

// --- the member list ---

int TMemberList::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Count(); }

QVariant TMemberList::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() < 0 || Index.row() >= Count()) return {};
  const TMember& member = At(Index.row());
  switch (Role) {
    case Qt::DisplayRole: return QText(member.Entry());
    case NickRole: return QByteArray::fromStdString(member.Nick);
    case OperatorRole: return member.Operator;
    case EntryBytesRole: return QByteArray::fromStdString(member.Entry());
    default: return {};
  }
}

int TMemberList::RowOf(const TNode* Node) const {
  int row = std::min(Node->Row, Count() - 1);
  while (row >= 0 && rows_[static_cast<std::size_t>(row)].get() != Node) --row;
  Node->Row = row;
  return row;
}

int TMemberList::Find(std::string_view Nick) const {
  const auto it = index_.find(Key(Nick));
  return it == index_.end() ? -1 : RowOf(it->second);
}

void TMemberList::Add(TMember Member) {
  if (const int row = Find(Member.Nick); row >= 0) {
    Set(row, std::move(Member));
    return;
  }
  auto node = std::make_unique<TNode>();
  node->Member = std::move(Member);
  node->Row = Count();
  const int row = Count();
  beginInsertRows(QModelIndex(), row, row);
  index_[Key(node->Member.Nick)] = node.get();
  rows_.push_back(std::move(node));
  endInsertRows();
}

void TMemberList::Set(int Row, TMember Member) {
  if (Row < 0 || Row >= Count()) return;
  TNode* node = rows_[static_cast<std::size_t>(Row)].get();
  const std::string oldKey = Key(node->Member.Nick);
  const std::string newKey = Key(Member.Nick);
  if (oldKey != newKey) {
    // Renamed onto a nick listed already: the two are one member now.
    if (const auto it = index_.find(newKey); it != index_.end()) {
      const int other = RowOf(it->second);
      Remove(other);
      if (other < Row) --Row;
    }
    index_.erase(oldKey);
    index_[newKey] = node;
  }
  node->Member = std::move(Member);
  node->Row = Row;
  const QModelIndex at = index(Row);
  emit dataChanged(at, at);
}

void TMemberList::Remove(int Row) {
  if (Row < 0 || Row >= Count()) return;
  beginRemoveRows(QModelIndex(), Row, Row);
  const auto it = rows_.begin() + Row;
  index_.erase(Key((*it)->Member.Nick));
  rows_.erase(it);
  endRemoveRows();
}

void TMemberList::SetCaseMapping(TCaseMapping Mapping) {
  if (Mapping == mapping_) return;
  mapping_ = Mapping;
  index_.clear();
  for (const auto& node : rows_) index_[Key(node->Member.Nick)] = node.get();
}

void TMemberList::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  index_.clear();
  endResetModel();
}

std::vector<std::string> TMemberList::Entries() const {
  std::vector<std::string> entries;
  entries.reserve(rows_.size());
  for (const auto& node : rows_) entries.push_back(node->Member.Entry());
  return entries;
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
