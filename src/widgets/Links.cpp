#include "widgets/Links.h"

#include <QStringList>
#include <algorithm>

namespace tavi {

namespace {

bool IsLetter(QChar C) { return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z'); }

bool IsUrlChar(QChar C) {
  const char16_t c = C.unicode();
  if (c <= 0x20 || c >= 0x7F) return false;
  return c != u'"' && c != u'<' && c != u'>' && c != u'\\' && c != u'^' && c != u'`' && c != u'{' && c != u'|' &&
         c != u'}';
}

bool IsLinkScheme(QStringView Scheme) {
  for (const char* known : {"http", "https", "irc", "ircs"})
    if (Scheme.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) return true;
  return false;
}

// Where an address that starts at Start and could run to End ends: without
// the sentence's punctuation and unopened closing brackets.
qsizetype TrimmedEnd(const QString& Line, qsizetype Start, qsizetype End) {
  while (End > Start) {
    const QChar last = Line[End - 1];
    if (QStringView(u".,;:!?'*").contains(last)) {
      --End;
      continue;
    }
    const QChar open = last == u')' ? u'(' : last == u']' ? u'[' : QChar();
    if (open.isNull()) break;
    const QStringView span = QStringView(Line).mid(Start, End - Start);
    if (span.count(open) >= span.count(last)) break;
    --End;
  }
  return End;
}

}  // namespace

QList<TLinkSpan> FindLinks(const QString& Line) {
  QList<TLinkSpan> spans;
  static const QString Separator = QStringLiteral("://");
  qsizetype at = Line.indexOf(Separator);
  while (at >= 0) {
    qsizetype start = at;
    while (start > 0 && IsLetter(Line[start - 1])) --start;
    const qsizetype rest = at + Separator.size();
    qsizetype end = rest;
    while (end < Line.size() && IsUrlChar(Line[end])) ++end;
    if (IsLinkScheme(QStringView(Line).mid(start, at - start))) {
      const qsizetype trimmed = TrimmedEnd(Line, rest, end);
      if (trimmed > rest) spans.append({start, trimmed - start});
    }
    at = Line.indexOf(Separator, std::max(end, rest));
  }
  return spans;
}

std::optional<QString> ChannelOfIrcLink(const QUrl& Link, const QString& Server) {
  const QString scheme = Link.scheme().toLower();
  if (scheme != u"irc" && scheme != u"ircs") return std::nullopt;
  if (!Link.host().isEmpty() && Link.host().compare(Server, Qt::CaseInsensitive) != 0) return std::nullopt;
  QString target = Link.path(QUrl::FullyDecoded);
  if (target.startsWith(u'/')) target.remove(0, 1);
  // "irc://host/#chan": to a URL the channel's "#" starts the fragment.
  if (target.isEmpty() && Link.hasFragment()) target = u'#' + Link.fragment(QUrl::FullyDecoded);
  // Flags such as ",needkey" follow the name.
  const QStringList parts = target.split(u',');
  const QString name = parts.front();
  for (const QString& flag : parts.mid(1))
    if (flag == u"isnick" || flag == u"isuser") return std::nullopt;
  // No space or control character: a decoded line break would end the
  // JOIN and start a command of the link's choosing.
  const auto unfit = [](QChar C) { return C.unicode() <= 0x20 || C == QChar::Nbsp; };
  if (name.isEmpty() || std::any_of(name.begin(), name.end(), unfit)) return std::nullopt;
  const QString channel = QStringView(u"#&+!").contains(name.front()) ? name : u'#' + name;
  if (channel.size() < 2) return std::nullopt;
  return channel;
}

}  // namespace tavi
