// One network's settings: its name, servers, names on it, encoding,
// choices, channels and commands on connect. Returns the edited network
// through Accepted; the caller stores it.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "core/Networks.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tavi {

class TNetworkEditForm : public QDialog {
  Q_OBJECT
 public:
  // Taken: names of the other networks, which this one may not take.
  TNetworkEditForm(QWidget* Owner, const TNetwork& Network, std::vector<std::string> Taken);

  QLineEdit* NameEdit = nullptr;
  QPlainTextEdit* ServersEdit = nullptr;  // one "host port [-tls]" a line
  QLineEdit* PassWordEdit = nullptr;
  QLineEdit* NickNameEdit = nullptr;
  QLineEdit* AlternateNickEdit = nullptr;
  QLineEdit* LoginNameEdit = nullptr;
  QLineEdit* TrueNameEdit = nullptr;
  QLineEdit* HostNameEdit = nullptr;
  QComboBox* EncodingComboBox = nullptr;
  // The login before registering, and the certificate shown over TLS.
  QComboBox* SaslComboBox = nullptr;  // none, PLAIN, EXTERNAL
  QLineEdit* SaslAccountEdit = nullptr;
  QLineEdit* SaslPassWordEdit = nullptr;
  QCheckBox* SaslRequiredCheckBox = nullptr;
  QLineEdit* ClientCertEdit = nullptr;
  QLineEdit* ClientKeyEdit = nullptr;
  QCheckBox* ReconnectCheckBox = nullptr;
  QCheckBox* LogCheckBox = nullptr;
  QCheckBox* ConnectAtStartCheckBox = nullptr;
  QPlainTextEdit* AutoJoinEdit = nullptr;         // one "#channel [key]" a line
  QPlainTextEdit* ConnectCommandsEdit = nullptr;  // one typed command a line
  QPushButton* OKButton = nullptr;

  // Stores nothing itself: hands the network to Accepted and closes, or
  // says what is missing and stays open.
  void OKButtonClick();
  // Runs on OK with the edited network; false keeps the dialog open (the
  // caller said why).
  std::function<bool(const TNetwork&)> Accepted;

  // The network as the fields say, or the reason it cannot be taken.
  std::string ReadNetwork(TNetwork& Network) const;

 private:
  void BuildControls();
  // The account fields are for PLAIN only.
  void SaslComboBoxChange();
  void FormCreate();

  const TNetwork original_;
  const std::vector<std::string> taken_;
};

}  // namespace tavi
