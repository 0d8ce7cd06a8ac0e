// The server error window (TServerErrorForm). One server error reply (401 to
// 502); every reply opens a window of its own.
#pragma once

#include <string>

#include "dialogs/CommandDialog.h"

class QLabel;
class QPushButton;

namespace tavi {

class TServerErrorForm : public TCommandDialog {
  Q_OBJECT
 public:
  explicit TServerErrorForm(QWidget* Owner);

  QLabel* ErrorLabel = nullptr;
  QPushButton* OKButton = nullptr;

  // ErrorLabel's text (Shift-JIS); its CR LF pairs break the lines.
  void SetErrorText(const std::string& Text);
  std::string ErrorText() const;

  void OKButtonClick();

 private:
  // Centres the window on the screen.
  void FormCreate();
};

}  // namespace tavi
