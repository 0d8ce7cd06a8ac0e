// The about box: the program file's name and product version, read from the
// program's own version information. Frees itself when it closes.
#pragma once

#include <QDialog>

class QCloseEvent;
class QEvent;
class QFrame;
class QLabel;
class QPushButton;

namespace tavi {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* Owner);

  QFrame* Panel1 = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* Copyright = nullptr;  // the maker's line
  QLabel* Comments = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* OKButton = nullptr;

  void OKButtonClick();
  // Losing the activation closes the box.
  void FormDeactivate();

  // Escape works as the OK button.
  void reject() override;

 protected:
  void changeEvent(QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void BuildControls();
  void FormCreate();
};

}  // namespace tavi
