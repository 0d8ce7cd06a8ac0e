#pragma once

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace tavi {

// The windows ask for "ＭＳ Ｐゴシック"; on Linux the Japanese fall-backs
// stand in for it, and colour emoji come from their own font.
inline QFont FormFont(int PixelSize = 12) {
  QFont font;
  font.setFamilies({QStringLiteral("MS PGothic"), QString::fromUtf8("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Color Emoji")});
  font.setPixelSize(PixelSize);
  return font;
}

inline void ApplyFormFont(QWidget* Widget, int PixelSize = 12) { Widget->setFont(FormFont(PixelSize)); }

// Menus, pop-up menus and message boxes take no font from the window they
// open over: they get the dialogs' font for the whole program.
void UseFormFontForMenusAndBoxes();

}  // namespace tavi
