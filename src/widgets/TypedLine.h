// A conversation window's input line: commands run on the connection, and
// what only a window can do (clear its pane, offer DCC) runs here.
#pragma once

#include <functional>

#include "core/TabCompletion.h"
#include <optional>
#include <string>

class QLineEdit;

namespace tavi {

class TChannel;
class TConnection;
class TQuery;
class TWindowHost;

// The text to say in the window, or nothing when Typed was a command.
std::optional<std::string> RunTypedInWindow(TWindowHost& Host, TConnection& Connection, const std::string& Typed,
                                            TChannel* Channel, TQuery* Query, const std::function<void()>& ClearPane);

// Tab in Edit completes the word before the cursor from what the window
// knows; true when Key was Tab (the focus stays). Any other key ends a cycle.
bool CompleteOnTab(QLineEdit* Edit, TTabCompletion& Completion, int Key, TConnection& Connection,
                   const QStringList& Nicks);

}  // namespace tavi
