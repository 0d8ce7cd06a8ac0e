// The freedesktop notification service (org.freedesktop.Notifications on the
// session bus): how highlights reach a user who is looking elsewhere.
#pragma once

#include <QString>

namespace tavi {

// Sends one notification without waiting for the answer; false when there
// is no session bus to send it on.
bool DesktopNotify(const QString& Title, const QString& Body);

}  // namespace tavi
