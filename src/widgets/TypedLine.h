// A conversation window's input line: commands run on the connection, and
// what only a window can do (clear its pane, offer DCC) runs here.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tavi {

class TChannel;
class TConnection;
class TQuery;
class TWindowHost;

// The text to say in the window, or nothing when Typed was a command.
std::optional<std::string> RunTypedInWindow(TWindowHost& Host, TConnection& Connection, const std::string& Typed,
                                            TChannel* Channel, TQuery* Query, const std::function<void()>& ClearPane);

}  // namespace tavi
