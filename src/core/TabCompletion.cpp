#include "core/TabCompletion.h"

#include <algorithm>

namespace tavi {

namespace {

bool IsSlash(QChar C) { return C == u'/' || C == u'／'; }

bool IsChannelStart(QChar C) { return C == u'#' || C == u'&'; }

QStringList Matching(const QStringList& Candidates, const QString& Prefix, const QString& Lead = {}) {
  QStringList matches;
  for (const QString& candidate : Candidates)
    if (candidate.startsWith(Prefix, Qt::CaseInsensitive)) matches.push_back(Lead + candidate);
  matches.removeDuplicates();
  return matches;
}

}  // namespace

std::optional<TCompletedLine> TTabCompletion::Complete(const QString& Text, int Cursor, const TCompletionSource& Source) {
  Cursor = std::clamp(Cursor, 0, static_cast<int>(Text.size()));
  const bool cycling = !matches_.isEmpty() && Text == lastText_ && Cursor == lastCursor_;
  if (cycling) {
    index_ = (index_ + 1) % static_cast<int>(matches_.size());
  } else {
    matches_.clear();
    int start = Cursor;
    while (start > 0 && !Text[start - 1].isSpace()) --start;
    const QString word = Text.mid(start, Cursor - start);
    if (word.isEmpty()) return std::nullopt;
    if (start == 0 && IsSlash(word[0])) {
      matches_ = Matching(Source.Commands, word.mid(1), QString(word[0]));
      suffix_ = QStringLiteral(" ");
    } else if (IsChannelStart(word[0])) {
      matches_ = Matching(Source.Channels, word);
      suffix_ = QStringLiteral(" ");
    } else {
      matches_ = Matching(Source.Nicks, word);
      // Addressed at the start of a line, named in the middle of one.
      suffix_ = start == 0 ? QStringLiteral(": ") : QStringLiteral(" ");
    }
    if (matches_.isEmpty()) return std::nullopt;
    index_ = 0;
    wordStart_ = start;
  }
  // The word as typed (or the match put in last) up to the cursor goes.
  const QString completed = matches_[index_] + suffix_;
  TCompletedLine line;
  line.Text = Text.left(wordStart_) + completed + Text.mid(Cursor);
  line.Cursor = wordStart_ + static_cast<int>(completed.size());
  lastText_ = line.Text;
  lastCursor_ = line.Cursor;
  return line;
}

}  // namespace tavi
