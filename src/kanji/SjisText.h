// The one edge between the program's Shift-JIS byte strings and the widgets'
// Unicode text, using the Windows code page 932 mapping.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tavi {

// Bytes that do not decode show as U+FFFD; the rest of the text still shows.
QString FromSjis(std::string_view Text);

// A window line's text: cut at DisplayLineBytes (see CutForDisplay), with no
// copy for the ordinary line that fits.
QString DisplayLineText(std::string_view Text);

// Characters that code page 932 cannot hold become "?".
std::string ToSjis(const QString& Text);

}  // namespace tavi

namespace tavi {

// The program's own texts are written as UTF-8 literals and used as Shift-JIS.
inline std::string Sj(std::u8string_view Text) {
  return ToSjis(QString::fromUtf8(reinterpret_cast<const char*>(Text.data()), static_cast<qsizetype>(Text.size())));
}

// A text of the program's own as the widgets show it: through Shift-JIS, so
// that what code page 932 cannot hold shows as it would in any other text.
inline QString Ui(std::u8string_view Text) { return FromSjis(Sj(Text)); }

}  // namespace tavi
