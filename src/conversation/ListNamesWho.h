// The channel list (LIST) and the names listing (NAMES): lines collect in
// ListMemo until the reply that ends the listing shows the window.
#pragma once

#include <string>
#include <vector>

#include "dialogs/CommandDialog.h"

class QPlainTextEdit;
class QToolBar;
class QToolButton;

namespace tavi {

class TListNamesWhoForm : public TCommandDialog {
  Q_OBJECT
 public:
  explicit TListNamesWhoForm(QWidget* Owner);

  QToolBar* ToolBar1 = nullptr;
  QToolButton* CloseButton = nullptr;
  QPlainTextEdit* ListMemo = nullptr;

  // Appends one line (UTF-8) to ListMemo.
  void AddLine(const std::string& Line);
  std::vector<std::string> Lines() const;

  // The caption is set by the reply that shows the window.
  void SetCaption(const std::string& Caption);
  const std::string& Caption() const { return caption_; }
  // Sets the caption and shows the window without waiting.
  void ShowListing(const std::string& Caption);

  // Empties ListMemo, then closes.
  void CloseButtonClick();

 private:
  std::string caption_;
};

}  // namespace tavi
