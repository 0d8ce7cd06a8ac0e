#include "kanji/QtText.h"

#include "kanji/Kanji.h"

namespace tavi {

QString QText(std::string_view Utf8) {
  return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
}

QString DisplayLineText(std::string_view Utf8) {
  return Utf8.size() <= DisplayLineBytes ? QText(Utf8) : QText(CutForDisplay(Utf8));
}

std::string StdText(const QString& Text) { return Text.toUtf8().toStdString(); }

}  // namespace tavi
