// The mode dialogs' openers.
#include "conversation/Chat.h"
#include "conversation/ChannelMode.h"
#include "conversation/UserMode.h"
#include "session/MainForm.h"

namespace tavi {

// Every click opens another dialog.
void TMainForm::UserModeMenuClick() { ShowInFront(new TUserModeForm(this)); }

void TChatForm::ChannelModeMenuClick() {
  auto* dialog = new TChannelModeForm(this);
  dialog->TargetChannel = Caption();
  ShowInFront(dialog);
}

}  // namespace tavi
