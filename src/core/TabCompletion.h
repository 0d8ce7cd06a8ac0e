// Tab in an input line: completes the word before the cursor from the
// window's nicks (the latest speakers first), the open channels or the
// command words; each further Tab puts the next match in its place.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tavi {

struct TCompletionSource {
  QStringList Nicks;     // in the order they are offered
  QStringList Channels;
  QStringList Commands;  // without the "/"
};

struct TCompletedLine {
  QString Text;
  int Cursor = 0;
};

class TTabCompletion {
 public:
  // The line with the word before Cursor completed, or the next match put
  // in place of the last one when nothing changed since; nothing when no
  // candidate fits.
  std::optional<TCompletedLine> Complete(const QString& Text, int Cursor, const TCompletionSource& Source);
  // Any other key ends the cycle.
  void Reset() { matches_.clear(); }

 private:
  QStringList matches_;
  int index_ = 0;
  int wordStart_ = 0;
  QString suffix_;
  QString lastText_;
  int lastCursor_ = -1;
};

}  // namespace tavi
