#include "frame/ServerLogForm.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "core/Connection.h"
#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "widgets/PaneLinks.h"
#include "widgets/TypedLine.h"

namespace tavi {

namespace {

constexpr int LogLines = 2000;

}  // namespace

TServerLogForm::TServerLogForm(TWindowHost& Host, TConnection& Connection) : TMdiChildForm(Host, &Connection) {
  setObjectName(QStringLiteral("ServerLogForm"));
  ApplyFormFont(this);
  auto* content = new QWidget(this);
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  ServerMemo = new QPlainTextEdit(content);
  ServerMemo->setObjectName(QStringLiteral("ServerMemo"));
  ServerMemo->setReadOnly(true);
  ServerMemo->setMaximumBlockCount(LogLines);
  OpenLinksOf(ServerMemo, Connection);
  column->addWidget(ServerMemo, 1);
  ServerSendEdit = new QLineEdit(content);
  ServerSendEdit->setObjectName(QStringLiteral("ServerSendEdit"));
  ServerSendEdit->setPlaceholderText(Ui(u8"サーバーへのコマンド（例： /join #チャンネル、/whois ニックネーム）"));
  ServerSendEdit->installEventFilter(this);
  column->addWidget(ServerSendEdit);
  setWidget(content);
  KeepSizeAs(QStringLiteral("ServerLog"), QSize(560, 240));
  SetCaption(Connection.DisplayName());
  connect(&Connection, &TConnection::NetworkAnnounced, this, [this] { SetCaption(this->Connection()->DisplayName()); });
  setFocusProxy(ServerSendEdit);
}

void TServerLogForm::closeEvent(QCloseEvent* Event) {
  TMdiChildForm::closeEvent(Event);
  if (Event->isAccepted()) emit Closed();
}

void TServerLogForm::AddLine(const QString& Text) { AppendLinkedLine(ServerMemo, Text); }

bool TServerLogForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == ServerSendEdit && Event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(Event)->key();
    if (CompleteOnTab(ServerSendEdit, completion_, key, *Connection(), {})) return true;
    if (WalkHistory(ServerSendEdit, history_, key)) return true;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ServerSendEditEnter();
      return true;
    }
  }
  return TMdiChildForm::eventFilter(Watched, Event);
}

void TServerLogForm::ServerSendEditEnter() {
  const QString typed = ServerSendEdit->text().trimmed();
  if (typed.isEmpty()) return;
  history_.Add(typed);
  ServerSendEdit->clear();
  std::string line = StdText(typed);
  // Commands only, with or without the slash.
  if (!line.starts_with("/") && !line.starts_with("／")) line = "/" + line;
  const std::optional<std::string> said =
      RunTypedInWindow(Host(), *Connection(), line, nullptr, nullptr, [this] { ServerMemo->clear(); });
  if (said)
    AddLine(QText(Connection()->Stamp() +
                  U8(u8" このウィンドウでは発言できません。チャンネルか会話のウィンドウで発言してください。")));
}

}  // namespace tavi
