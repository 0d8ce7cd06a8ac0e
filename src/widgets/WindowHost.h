// What the windows ask of the frame that holds them: the frame's commands
// (which their menus offer too), the one away/nick/topic dialog, DCC, and
// the window that dialogs are opened over. The main window implements it;
// the windows hold a reference, so no window needs the main window's class.
#pragma once

#include <string>

class QWidget;

namespace tavi {

class TConnection;
class TMdiChildForm;

// The frame's commands, as its menu items name them.
enum class TFrameCommand {
  Join,        // the join dialog
  Talk,        // the member editor for a new talk window
  Exit,        // closing the program
  Version,
  Admin,
  WhoIs,
  WhoWas,
  Away,
  Ison,
  Names,
  List,
  Nick,
  UserMode,
};

class TWindowHost {
 public:
  virtual ~TWindowHost() = default;
  // Runs the frame's command for Connection (the window's own).
  virtual void RunFrameCommand(TFrameCommand Command, TConnection& Connection) = 0;
  // The join dialog, proposing Channel.
  virtual void ShowJoinDialog(TConnection& Connection, const std::string& Channel) = 0;
  // The topic dialog for Channel, filled with its topic.
  virtual void ShowTopicDialog(TConnection& Connection, const std::string& Channel, const std::string& Topic) = 0;
  // DCC with Nick through Connection: a chat offered, a file chosen and
  // offered.
  virtual void OfferDccChat(TConnection& Connection, const std::string& Nick) = 0;
  virtual void OfferDccFile(TConnection& Connection, const std::string& Nick) = 0;
  // The frame window, over which dialogs open.
  virtual QWidget* FrameWindow() = 0;
  // Puts a window of the user's own opening (a DCC chat) into the frame.
  virtual void AddChildWindow(TMdiChildForm* Child) = 0;
};

}  // namespace tavi
