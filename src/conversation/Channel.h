// The join dialog (TChannelForm; the file keeps the dialog's name "Channel",
// while the channel window itself is in Chat.h): a channel name from the
// remembered list, an optional key, and the JOIN line. At most one, owned by
// the main window; closes as soon as it loses the activation and frees itself.
#pragma once

#include <string>

#include "dialogs/CommandDialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavi {

class TConnection;

class TChannelForm : public TCommandDialog {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 36;

  TChannelForm(QWidget* Owner, TConnection& Connection);  // FormCreate
  ~TChannelForm() override;

  QLabel* Label1 = nullptr;
  QComboBox* ChannelComboBox = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* ChannelKeyEdit = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

  // Shows Channel as the proposal, selected whole with the keyboard on it,
  // so that typing a name replaces it rather than appending to it.
  void ProposeChannel(const std::string& Channel);

  void ChannelComboBoxChange();
  void OKButtonClick();
  void CancelButtonClick();

 private:
  TConnection& connection_;
};

}  // namespace tavi
