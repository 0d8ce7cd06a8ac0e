// The user mode dialog: the user's own modes i, s, w and o as check boxes,
// and the one MODE line that changes them to what the boxes show.
#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace tavi {

class TUserModeForm : public QDialog {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 52;

  // FormCreate: the boxes from the modes the server reported last.
  explicit TUserModeForm(QWidget* Owner);
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
  void FormDeactivate();

  // Escape works as the close button.
  void reject() override;
  bool IsClosed() const { return closed_; }

 protected:
  void changeEvent(QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  bool closed_ = false;
};

}  // namespace tavi
