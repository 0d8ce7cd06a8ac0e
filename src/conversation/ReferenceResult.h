// The answer to ISON: the nicknames that are on the server.
#pragma once

#include <string>
#include <vector>

#include "dialogs/CommandDialog.h"

class QListWidget;
class QPushButton;

namespace tavi {

class TReferenceResultForm : public TCommandDialog {
  Q_OBJECT
 public:
  explicit TReferenceResultForm(QWidget* Owner);

  QListWidget* ReferenceListBox = nullptr;
  QPushButton* CloseButton = nullptr;

  // ReferenceListBox's entries (Shift-JIS).
  void AddEntry(const std::string& Entry);
  std::vector<std::string> Entries() const;

  // Empties the list, then closes.
  void CloseButtonClick();
};

}  // namespace tavi
