// The answer to VERSION: the server's version text.
#pragma once

#include <QDialog>

class QEvent;
class QLabel;
class QPushButton;

namespace tavi {

class TVersionReplyForm : public QDialog {
  Q_OBJECT
 public:
  explicit TVersionReplyForm(QWidget* Owner);

  QLabel* Label1 = nullptr;
  QLabel* VersionLabel = nullptr;
  QPushButton* CloseButton = nullptr;

  void CloseButtonClick();
  // Losing the activation closes the window.
  void FormDeactivate();

 protected:
  void changeEvent(QEvent* Event) override;
};

}  // namespace tavi
