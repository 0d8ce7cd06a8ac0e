#include "platform/FileFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tavi {

namespace {

QString& LastFolder() {
  static QString folder;
  return folder;
}

}  // namespace

QString FileDialogFolder() {
  if (!LastFolder().isEmpty() && QFileInfo(LastFolder()).isDir()) return LastFolder();
  QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (downloads.isEmpty()) downloads = QDir::homePath();
  QDir().mkpath(downloads);
  return downloads;
}

void FileChosenIn(const QString& FilePath) {
  if (!FilePath.isEmpty()) LastFolder() = QFileInfo(FilePath).absolutePath();
}

}  // namespace tavi
