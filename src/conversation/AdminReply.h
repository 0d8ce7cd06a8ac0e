// The answer to ADMIN: the server's four administrator lines.
#pragma once

#include <QDialog>

class QEvent;
class QLabel;
class QPushButton;

namespace tavi {

class TAdminReplyForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAdminReplyForm(QWidget* Owner);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QPushButton* OKButton = nullptr;

  void OKButtonClick();
  // Losing the activation closes the window.
  void FormDeactivate();

 protected:
  void changeEvent(QEvent* Event) override;
};

}  // namespace tavi
