// The channel mode dialog: the modes of one channel as check boxes, and the
// MODE lines that turn the channel's modes into what the boxes show.
#pragma once

#include <string>

#include "dialogs/CommandDialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tavi {

class TChannel;
class TConnection;

class TChannelModeForm : public TCommandDialog {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 53;

  // Owner: the channel window that opens it.
  TChannelModeForm(QWidget* Owner, TConnection& Connection);
  ~TChannelModeForm() override;

  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* PrivateCheckBox = nullptr;
  QCheckBox* SecretCheckBox = nullptr;
  QCheckBox* InviteCheckBox = nullptr;
  QCheckBox* TopicCheckBox = nullptr;
  QCheckBox* MessageCheckBox = nullptr;
  QCheckBox* ModeratedCheckBox = nullptr;
  QCheckBox* LimitCheckBox = nullptr;
  QLineEdit* LimitEdit = nullptr;
  QCheckBox* SpeechCheckBox = nullptr;
  QCheckBox* KeyWordCheckBox = nullptr;
  QLineEdit* KeyWordEdit = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

  // The channel, equal to the caption of its window.
  std::string TargetChannel;
  std::string TargetWireName;  // the channel's bytes on the wire

  // The connection's channel named TargetChannel, if any.
  TChannel* ChannelWindow() const;

  // Fills the boxes from the channel window; the dialog does this on its first
  // showing or activation only.
  void FormActivate() override;
  void PrivateCheckBoxClick();
  void SecretCheckBoxClick();
  void LimitCheckBoxClick();
  void KeyWordCheckBoxClick();
  void OKButtonClick();
  void CancelButtonClick();

 private:
  bool keyWordEdited_ = false;  // typed into KeyWordEdit since it was filled
  TConnection& connection_;
};

}  // namespace tavi
