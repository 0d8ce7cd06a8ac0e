// The answer to ISON: the nicknames that are on the server.
#pragma once

#include <string>
#include <vector>

#include "dialogs/CommandDialog.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tavi {

class TReferenceResultForm : public TCommandDialog {
  Q_OBJECT
 public:
  explicit TReferenceResultForm(QWidget* Owner);

  QListWidget* ReferenceListBox = nullptr;
  QPushButton* CloseButton = nullptr;

  // Entries past this many are counted in a last line instead of listed.
  static constexpr int MaxEntries = 10000;

  // Adds entries (UTF-8) in one go, without laying out those listed.
  void AddEntries(const std::vector<std::string>& Entries);
  void AddEntry(const std::string& Entry) { AddEntries({Entry}); }
  // The entries listed, without the line of those left out.
  std::vector<std::string> Entries() const;
  int LeftOut() const { return leftOut_; }

  // Empties the list, then closes.
  void CloseButtonClick();

 private:
  int listed_ = 0;
  int leftOut_ = 0;
  QListWidgetItem* leftOutItem_ = nullptr;
};

}  // namespace tavi
