#include "core/DesktopSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace tavi {

namespace {

// The file holds the pinned certificates and the user's choices: readable
// by the user alone. Each write replaces the file, so the mode is set again
// after the last one.
class TPrivateSettings : public QSettings {
 public:
  TPrivateSettings()
      : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavi"), QStringLiteral("Tavi")) {
    const QString folder = QFileInfo(fileName()).absolutePath();
    if (!QFileInfo::exists(folder)) MakePrivateFolder(folder);
  }
  ~TPrivateSettings() override {
    sync();
    if (QFileInfo::exists(fileName())) QFile::setPermissions(fileName(), QFile::ReadOwner | QFile::WriteOwner);
  }
};

}  // namespace

bool MakePrivateFolder(const QString& Path) {
  // Each folder made here is the user's alone; folders that were there keep
  // the mode the user gave them.
  QStringList made;
  for (QString at = QDir::cleanPath(Path); !at.isEmpty() && !QFileInfo::exists(at);
       at = QFileInfo(at).absolutePath()) {
    made.push_front(at);
    if (at == QFileInfo(at).absolutePath()) break;
  }
  if (!QDir().mkpath(Path)) return false;
  for (const QString& folder : made)
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return true;
}

std::unique_ptr<QSettings> OpenDesktopSettings() { return std::make_unique<TPrivateSettings>(); }

QRect FirstStartGeometry(const QRect& Available) {
  const int width = std::min(Available.width(), std::max(640, Available.width() * 2 / 3));
  const int height = std::min(Available.height(), std::max(480, Available.height() * 2 / 3));
  return {Available.left() + (Available.width() - width) / 2, Available.top() + (Available.height() - height) / 2,
          width, height};
}

QRect FitIntoArea(const QPoint& Position, const QSize& Size, const QSize& AreaSize) {
  const QSize size = Size.boundedTo(AreaSize);
  const int x = std::clamp(Position.x(), 0, AreaSize.width() - size.width());
  const int y = std::clamp(Position.y(), 0, AreaSize.height() - size.height());
  return {x, y, size.width(), size.height()};
}

}  // namespace tavi
