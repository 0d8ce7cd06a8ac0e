#pragma once

#include <QColor>

#include "core/Connection.h"

namespace tavi {

// The colours of the channel window panes.
inline const QColor clBlack(0, 0, 0);    // talk, ordinary members
inline const QColor clGreen(0, 128, 0);  // the user's own events and entry
inline const QColor clRed(255, 0, 0);    // channel operators in the member pane
inline const QColor clBlue(0, 0, 255);   // other members' events, replies
inline const QColor clHighlight(192, 0, 192);  // lines that name the user
inline const QColor clGray(128, 128, 128);     // where unread lines begin, members away

// The colour of a line of a channel window.
inline QColor LineColor(TLineKind Kind) {
  switch (Kind) {
    case TLineKind::Own: return clGreen;
    case TLineKind::Event: return clBlue;
    default: return clBlack;
  }
}

}  // namespace tavi
