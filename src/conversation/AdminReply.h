// The answer to ADMIN: the server's four administrator lines.
#pragma once

#include "dialogs/CommandDialog.h"

class QLabel;
class QPushButton;

namespace tavi {

class TAdminReplyForm : public TCommandDialog {
  Q_OBJECT
 public:
  explicit TAdminReplyForm(QWidget* Owner);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QPushButton* OKButton = nullptr;

  void OKButtonClick();
};

}  // namespace tavi
