// The network list: every network the user keeps, its server and what its
// connection is doing; networks are added, edited, removed, reordered,
// connected and disconnected here. Modeless, one at a time.
#pragma once

#include <QDialog>
#include <QPointer>

#include "core/NetworkList.h"
#include "frame/NetworkEditForm.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace tavi {

class TSession;

class TNetworkListForm : public QDialog {
  Q_OBJECT
 public:
  TNetworkListForm(QWidget* Owner, TSession& Session);

  QLabel* NoteLabel = nullptr;  // a first start says what to do
  QTreeWidget* NetworkListView = nullptr;
  QPushButton* AddButton = nullptr;
  QPushButton* EditButton = nullptr;
  QPushButton* RemoveButton = nullptr;
  QPushButton* UpButton = nullptr;
  QPushButton* DownButton = nullptr;
  QPushButton* ConnectButton = nullptr;
  QPushButton* DisconnectButton = nullptr;
  QPushButton* CloseButton = nullptr;

  // Says that nothing is set yet and how to begin.
  void ShowFirstStartNote();
  // Rows and buttons as the networks and their connections are now.
  void Refresh();
  // The row selected, or -1.
  int SelectedRow() const;
  void SelectRow(int Row);
  // The network editor while one is open.
  TNetworkEditForm* Editor() const { return editor_ && editor_->isVisible() ? editor_.data() : nullptr; }

  void AddButtonClick();
  void EditButtonClick();
  void RemoveButtonClick();
  void UpButtonClick();
  void DownButtonClick();
  void ConnectButtonClick();
  void DisconnectButtonClick();

 private:
  void BuildControls();
  void UpdateButtons();
  void WatchConnections();
  void OpenEditor(const TNetwork& Network, int Row);
  TNetwork NetworkToEdit(std::size_t Row) const;

  TSession& session_;
  TNetworkList list_;
  QPointer<TNetworkEditForm> editor_;
};

}  // namespace tavi
