#pragma once

#include <QString>
#include <string_view>

#include "kanji/SjisText.h"

namespace tavi {

// Menu captions are shown as they are: an "&" must not become a shortcut.
inline QString MenuText(std::string_view Caption) {
  QString text = FromSjis(Caption);
  text.replace(QLatin1Char('&'), QLatin1String("&&"));
  return text;
}

}  // namespace tavi
