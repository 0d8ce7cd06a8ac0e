// What the user types into a window's input line: a line that starts with
// "/" (or the full-width "／" of Japanese input methods) is a command, never
// text for the channel; "//" sends the rest, its "/" kept, as text.
#pragma once

#include <string>
#include <vector>

namespace tavi {

class TChannel;
class TConnection;
class TQuery;

enum class TTypedKind {
  Say,     // Text is to be said in the window (an action with "/me ")
  Ran,     // the command ran
  Window,  // a command of the window's own: Word ("clear", "help", "dcc"), Args
};

struct TTypedOutcome {
  TTypedKind Kind = TTypedKind::Ran;
  std::string Text;
  std::string Word;
  std::string Args;
};

// The command words the input line knows, in alphabetical order.
const std::vector<std::string>& TypedCommandWords();

// Runs Typed on Connection as typed into the window of Channel or Query (or
// the server window, with neither): commands act on that window's target.
// An unknown "/word args" goes to the server as "WORD args".
TTypedOutcome RunTypedLine(TConnection& Connection, const std::string& Typed, TChannel* Channel, TQuery* Query);

}  // namespace tavi
