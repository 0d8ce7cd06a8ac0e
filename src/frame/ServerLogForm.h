// A further network's server window: its server log and a line for
// commands, as the main window has them for the first network. Closing it
// ends the network's connection.
#pragma once

#include "core/TabCompletion.h"
#include "widgets/InputHistory.h"
#include "widgets/MdiChildForm.h"

class QLineEdit;
class QPlainTextEdit;

namespace tavi {

class TServerLogForm : public TMdiChildForm {
  Q_OBJECT
 public:
  TServerLogForm(TWindowHost& Host, TConnection& Connection);

  void AddLine(const QString& Text);

  QPlainTextEdit* ServerMemo = nullptr;
  QLineEdit* ServerSendEdit = nullptr;

 signals:
  // The user closed the window: the network is to end.
  void Closed();

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void ServerSendEditEnter();

  TInputHistory history_;
  TTabCompletion completion_;
};

}  // namespace tavi
