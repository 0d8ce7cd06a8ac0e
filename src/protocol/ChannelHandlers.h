// Pieces of the channel and nick state handlers that other replies share.
#pragma once

#include <string>
#include <string_view>

namespace tavi {

class TChatForm;
class TMainForm;

// Sets the user's own mode flags from the second parameter of a MODE on the
// own nickname or of the 221 reply; an empty parameter changes nothing.
void ApplyUserModeText(std::string_view Params2);

// The channel window of Channel: the first MDI child, in child order, that is
// a channel window with exactly this caption; nullptr when there is none.
TChatForm* FindChannelWindow(const TMainForm& Main, const std::string& Channel);

}  // namespace tavi
