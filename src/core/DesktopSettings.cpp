#include "core/DesktopSettings.h"

#include <algorithm>

namespace tavi {

std::unique_ptr<QSettings> OpenDesktopSettings() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavi"),
                                     QStringLiteral("Tavi"));
}

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
