// The about box: the program file's name and product version, read from the
// program's own version information. Frees itself when it closes.
#pragma once

#include "dialogs/CommandDialog.h"

class QFrame;
class QLabel;
class QPushButton;

namespace tavi {

class TAboutBox : public TCommandDialog {
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

  // OK, Escape and losing the activation close the box.
  void OKButtonClick();

 private:
  void BuildControls();
  void FormCreate();
};

}  // namespace tavi
