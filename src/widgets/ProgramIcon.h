// The program's icon, drawn here as desktop/tavi.svg draws it, so that the
// title bars show it without an SVG image plugin.
#pragma once

#include <QIcon>

namespace tavi {

QIcon ProgramIcon();

}  // namespace tavi
