// What the program keeps besides its settings file, which stays byte for
// byte as other versions write it: the main window's place, and choices that
// file has no room for. Qt's settings file in the user's configuration
// folder ($XDG_CONFIG_HOME/Tavi/Tavi.conf).
#pragma once

#include <QRect>
#include <QSettings>
#include <memory>

namespace tavi {

// The settings file is readable by the user alone (0600).
std::unique_ptr<QSettings> OpenDesktopSettings();
// Makes Path and the folders above it that are missing, readable by the
// user alone (0700).
bool MakePrivateFolder(const QString& Path);

// The main window on a first start: two thirds of the screen's available
// area, at least 640 x 480 where the screen is that large, centred.
QRect FirstStartGeometry(const QRect& Available);

// Where a child window of Size opened at Position goes in an area of
// AreaSize: shrunk to fit and moved so that all of it, its input line at
// the bottom included, is inside.
QRect FitIntoArea(const QPoint& Position, const QSize& Size, const QSize& AreaSize);

}  // namespace tavi
