// The mode dialogs' openers.
#include "conversation/Chat.h"
#include "conversation/ChannelMode.h"
#include "conversation/UserMode.h"
#include "session/MainForm.h"

namespace tavi {

namespace {

void ShowDialog(QDialog* Dialog) {
  Dialog->show();
  Dialog->raise();
  Dialog->activateWindow();
}

}  // namespace

// Every click opens another dialog.
void TMainForm::UserModeMenuClick() { ShowDialog(new TUserModeForm(this)); }

void TChatForm::ChannelModeMenuClick() {
  auto* dialog = new TChannelModeForm(this);
  dialog->TargetChannel = Caption();
  ShowDialog(dialog);
}

}  // namespace tavi
