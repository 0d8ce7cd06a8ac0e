// The user mode dialog: the user's own modes i, s, w and o as check boxes,
// and the one MODE line that changes them to what the boxes show.
#pragma once

#include "dialogs/CommandDialog.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace tavi {

class TConnection;

class TUserModeForm : public TCommandDialog {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 52;

  // FormCreate: the boxes from the modes the server reported last.
  TUserModeForm(QWidget* Owner, TConnection& Connection);
  ~TUserModeForm() override;

  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* InvisibleCheckBox = nullptr;
  QCheckBox* NoticeCheckBox = nullptr;
  QCheckBox* WallOpsCheckBox = nullptr;
  QCheckBox* IrcOpeCheckBox = nullptr;
  QPushButton* ChangeButton = nullptr;
  QPushButton* CloseButton = nullptr;

  void ChangeButtonClick();
  void CloseButtonClick();

 private:
  TConnection& connection_;
};

}  // namespace tavi
