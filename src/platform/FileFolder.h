// Where the file dialogs start: the user's download folder the first time
// (made when missing), then the folder last chosen while it exists; never
// the program's own folder.
#pragma once

#include <QString>

namespace tavi {

QString FileDialogFolder();
// Remembers the folder of a file the user chose.
void FileChosenIn(const QString& FilePath);

}  // namespace tavi
