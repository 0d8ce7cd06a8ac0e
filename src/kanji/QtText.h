// The one edge between the core's text (UTF-8 std::string) and the widgets'
// QString.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tavi {

// Ill-formed bytes show as U+FFFD; the rest of the text still shows.
QString QText(std::string_view Utf8);

// A window line's text: cut at DisplayLineBytes (see CutForDisplay), with no
// copy for the ordinary line that fits.
QString DisplayLineText(std::string_view Utf8);

std::string StdText(const QString& Text);

// The program's own texts, written as UTF-8 literals.
inline std::string U8(std::u8string_view Text) { return std::string(Text.begin(), Text.end()); }
inline QString Ui(std::u8string_view Text) {
  return QString::fromUtf8(reinterpret_cast<const char*>(Text.data()), static_cast<qsizetype>(Text.size()));
}

}  // namespace tavi
