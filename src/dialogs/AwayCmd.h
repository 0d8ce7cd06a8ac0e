// The one away / nickname / topic dialog (TAwayCmdForm; named after its first
// use): its command kind, set by each opener, decides what its buttons send.
// Hidden, never freed, when closed.
#pragma once

#include <QDialog>
#include <string>

#include "kanji/WireText.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace tavi {

class TConnection;

class TAwayCmdForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAwayCmdForm(QWidget* Owner);
  ~TAwayCmdForm() override;

  QLabel* Label1 = nullptr;
  QLineEdit* AwayMessageEdit = nullptr;
  QPushButton* OKButton = nullptr;      // "設定"
  QPushButton* CancelButton = nullptr;  // "解除"
  QPushButton* CloseButton = nullptr;   // "閉じる"

  std::string CommandKind = "Away";  // "Away", "Nick" or "Topic"
  // Where the buttons' lines go: the connection of the window it was
  // opened for.
  TConnection* Connection = nullptr;
  std::string TopicChannel;  // as the server knows it, in its bytes

  // Sets the window caption and the prompt (UTF-8).
  void SetCaption(const std::string& Caption);
  void SetLabel(const std::string& Text);
  std::string Caption() const;
  std::string LabelText() const;
  std::string EditText() const;
  void SetEditText(const std::string& Text);

  void FormShow();
  void OKButtonClick();
  void CancelButtonClick();
  void CloseButtonClick();

 protected:
  void showEvent(QShowEvent* Event) override;
};


// A new nick cut to what takes at most 8 bytes in Encoding, between
// characters.
std::string NickCut(const std::string& Nick, TWireEncoding Encoding);

}  // namespace tavi
