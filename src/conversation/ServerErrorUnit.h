// The server error window (TServerErrorForm). Error replies (401 to 502)
// share one window: the label shows the latest, the list below keeps the
// ones before it, so a flood of errors cannot open windows without end.
#pragma once

#include <string>
#include <vector>

#include "dialogs/CommandDialog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tavi {

class TServerErrorForm : public TCommandDialog {
  Q_OBJECT
 public:
  // Earlier errors kept in the list; older ones drop off its top.
  static constexpr int KeptErrors = 100;

  explicit TServerErrorForm(QWidget* Owner);

  QLabel* ErrorLabel = nullptr;
  QPlainTextEdit* EarlierErrors = nullptr;
  QPushButton* OKButton = nullptr;

  // ErrorLabel's text (UTF-8); its CR LF pairs break the lines.
  void SetErrorText(const std::string& Text);
  std::string ErrorText() const;
  // Shows Text as the latest error and moves the one shown before into the
  // list of earlier errors, which appears with its first entry.
  void AddErrorText(const std::string& Text);
  // The earlier errors, oldest first, each on one line.
  std::vector<std::string> EarlierErrorTexts() const;

  void OKButtonClick();

 private:
  // Centres the window on the screen.
  void FormCreate();
};

}  // namespace tavi
