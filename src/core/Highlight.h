// Whether a line names the user: the nick or one of the user's highlight
// words, as a word of its own and without regard to case.
#pragma once

#include <QString>
#include <QStringList>

namespace tavi {

bool NamesAnyWord(const QString& Text, const QStringList& Words);

}  // namespace tavi
