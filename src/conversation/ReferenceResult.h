// The answer to ISON: the nicknames that are on the server.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QEvent;
class QListWidget;
class QPushButton;

namespace tavi {

class TReferenceResultForm : public QDialog {
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
  // Losing the activation closes the window.
  void FormDeactivate();

 protected:
  void changeEvent(QEvent* Event) override;
};

}  // namespace tavi
