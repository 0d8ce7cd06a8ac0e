#pragma once

#include <QAction>
#include <QMenu>
#include <QString>
#include <string_view>

#include "kanji/QtText.h"

namespace tavi {

// Menu captions are shown as they are: an "&" must not become a shortcut.
inline QString MenuText(std::string_view Caption) {
  QString text = QText(Caption);
  text.replace(QLatin1Char('&'), QLatin1String("&&"));
  return text;
}

// A menu or menu item named as the program's texts name it, owned by Owner.
inline QMenu* MakeMenu(QWidget* Owner, const char* Name, std::u8string_view Caption) {
  auto* menu = new QMenu(MenuText(U8(Caption)), Owner);
  menu->setObjectName(QLatin1String(Name));
  return menu;
}

inline QAction* MakeMenuItem(QObject* Owner, QMenu* Menu, const char* Name, std::u8string_view Caption) {
  auto* action = new QAction(MenuText(U8(Caption)), Owner);
  action->setObjectName(QLatin1String(Name));
  Menu->addAction(action);
  return action;
}

}  // namespace tavi
