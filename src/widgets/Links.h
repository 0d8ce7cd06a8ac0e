// The addresses in a line of text (http, https, irc and ircs), found where
// they stand, and the channel an irc address names. No widgets: the panes
// mark what these find.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

namespace tavi {

struct TLinkSpan {
  qsizetype Start = 0;
  qsizetype Length = 0;
  bool operator==(const TLinkSpan&) const = default;
};

// The addresses in Line, left to right. An address runs over printable
// ASCII, so Japanese text right after it is not part of it; the
// punctuation that ends the sentence around it, and a closing bracket
// that it did not open, are left out.
QList<TLinkSpan> FindLinks(const QString& Line);

// The channel an irc:// or ircs:// Link names on the server Server: its
// host is Server (any case) or missing, its path "/#channel" or
// "/channel" (read as "#channel"). Nothing for other links, other
// servers, nicks (",isnick") and names no server would take (spaces,
// control characters).
std::optional<QString> ChannelOfIrcLink(const QUrl& Link, const QString& Server);

}  // namespace tavi
