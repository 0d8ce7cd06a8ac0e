#include "core/Highlight.h"

namespace tavi {

namespace {

// Letters, digits and the characters nicks are made of: "hanako_" is not
// "hanako", but "hanako:" and "「hanako」" are. Japanese runs words
// together, so its characters never make a word longer.
bool IsWordChar(QChar C) {
  const QChar::Script script = C.script();
  if (script == QChar::Script_Han || script == QChar::Script_Hiragana || script == QChar::Script_Katakana) return false;
  return C.isLetterOrNumber() || QStringView(u"_-[]\\`^{}|").contains(C);
}

// "https://example.jp/hanako/" names a page, not the user.
bool InsideAddress(const QString& Text, qsizetype At) {
  qsizetype start = At;
  while (start > 0 && !Text[start - 1].isSpace()) --start;
  qsizetype end = At;
  while (end < Text.size() && !Text[end].isSpace()) ++end;
  return QStringView(Text).mid(start, end - start).contains(u"://");
}

}  // namespace

bool NamesAnyWord(const QString& Text, const QStringList& Words) {
  for (const QString& word : Words) {
    if (word.isEmpty()) continue;
    for (qsizetype at = Text.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
         at = Text.indexOf(word, at + 1, Qt::CaseInsensitive)) {
      const qsizetype end = at + word.size();
      const bool startsWord = at == 0 || !IsWordChar(Text[at - 1]) || !IsWordChar(word.front());
      const bool endsWord = end == Text.size() || !IsWordChar(Text[end]) || !IsWordChar(word.back());
      if (startsWord && endsWord && !InsideAddress(Text, at)) return true;
    }
  }
  return false;
}

}  // namespace tavi
