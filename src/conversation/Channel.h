// The join dialog: a channel name from the remembered list, an optional key,
// and the JOIN line.
#pragma once

#include <QDialog>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavi {

class TChannelForm : public QDialog {
  Q_OBJECT
 public:
  static constexpr int HelpContext = 36;

  explicit TChannelForm(QWidget* Owner);  // FormCreate
  ~TChannelForm() override;

  QLabel* Label1 = nullptr;
  QComboBox* ChannelComboBox = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* ChannelKeyEdit = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

  void ChannelComboBoxChange();
  void OKButtonClick();
  void CancelButtonClick();
  void FormDeactivate();

  // The key that a remembered channel carries in this run (empty if none).
  static std::string RememberedKey(const std::string& Channel);
  // Forgets every remembered key, as a restart of the program does.
  static void ForgetRememberedKeys();

 protected:
  void changeEvent(QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
};

}  // namespace tavi
