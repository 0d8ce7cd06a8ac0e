// The encoding a conversation window writes in, as the user sees it: a menu
// to fix it, and the question when a line holds what it cannot hold.
#pragma once

#include <functional>
#include <string>

#include "core/Model.h"

class QMenu;
class QWidget;

namespace tavi {

// Adds the "送信する文字コード" submenu to Menu: automatic (what the
// members write in) or one encoding fixed. Writing gives the conversation's
// state, or nullptr once it is gone.
QMenu* AddWritingMenu(QMenu* Menu, std::function<TWriting*()> Writing);

// What Encoding cannot hold of Text is never sent silently mangled: the user
// chooses to send in UTF-8 (As is Utf8) or with the geta mark (As is
// Encoding). False: not to send. Text that Encoding holds asks nothing.
bool ChooseSending(const std::string& Text, TWireEncoding Encoding, TWireEncoding& As);

}  // namespace tavi
