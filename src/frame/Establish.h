// The connection settings dialog: edits the session's connection settings.
// Modeless, at most one (reached through FindOrCreateForm), frees itself
// when it closes, so every opening starts from the stored values.
#pragma once

#include <string>

#include "dialogs/CommandDialog.h"

class QCheckBox;
class QComboBox;
class QCloseEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavi {

class TConnection;
struct TGrobalArea;

// A connect needs the server, the port and the nick, real, login and host
// names; with one of them empty the user is asked for them.
bool ConnectSettingsMissing(const TGrobalArea& Area);

class TEstablishForm : public TCommandDialog {
  Q_OBJECT
 public:
  TEstablishForm(QWidget* Owner, TConnection& Connection);

  QLineEdit* PassWordEdit = nullptr;
  QLineEdit* NickNameEdit = nullptr;
  QLineEdit* TrueNameEdit = nullptr;
  QLineEdit* LoginNameEdit = nullptr;
  QLineEdit* HostNameEdit = nullptr;
  QComboBox* ServerNameComboBox = nullptr;
  QLineEdit* PortEdit = nullptr;
  QGroupBox* KanjiCodeGroupBox = nullptr;
  QRadioButton* JISRadioButton = nullptr;
  QRadioButton* SJISRadioButton = nullptr;
  QRadioButton* UTF8RadioButton = nullptr;
  // Choices kept in the desktop settings, not in the settings file.
  QGroupBox* ConnectionGroupBox = nullptr;
  QCheckBox* TlsCheckBox = nullptr;
  QCheckBox* ReconnectCheckBox = nullptr;
  QCheckBox* LogCheckBox = nullptr;
  QCheckBox* NotifyCheckBox = nullptr;
  QLineEdit* AlternateNickEdit = nullptr;  // nicks for when the nick is taken
  QLineEdit* HighlightEdit = nullptr;  // highlight words besides the nick
  QFrame* Panel1 = nullptr;
  // Says that a value Shift-JIS cannot hold is kept beside the settings file.
  QLabel* WideNoteLabel = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

  // Opened by a connect that lacked settings: OK connects once they are
  // complete.
  bool ConnectOnOK = false;

  // Stores the edits into the settings and closes (and connects, see
  // ConnectOnOK); stops with a message, the
  // dialog still open, when the port cannot be taken.
  void OKButtonClick();
  // Cancel, like Escape and losing the activation, closes without storing.
  void CancelButtonClick();

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void BuildControls();
  void BuildConnectionChoices();
  void UpdateWideNote();
  // Ticking TLS proposes its port in place of the plain one, and back.
  void TlsCheckBoxClick(bool Checked);
  void FormCreate();
  void FormClose();
  // A message box of this dialog; its taking the activation is no
  // deactivation, and the dialog stays open after it.
  void ShowRefusal(const std::string& Text);

  TConnection& connection_;
};

}  // namespace tavi
