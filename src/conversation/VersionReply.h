// The answer to VERSION: the server's version text.
#pragma once

#include "dialogs/CommandDialog.h"

class QLabel;
class QPushButton;

namespace tavi {

class TVersionReplyForm : public TCommandDialog {
  Q_OBJECT
 public:
  explicit TVersionReplyForm(QWidget* Owner);

  QLabel* Label1 = nullptr;
  QLabel* VersionLabel = nullptr;
  QPushButton* CloseButton = nullptr;

  void CloseButtonClick();
};

}  // namespace tavi
