#include "widgets/TypedLine.h"

#include <QLineEdit>

#include "core/Connection.h"
#include "core/TypedCommands.h"
#include "kanji/QtText.h"
#include "widgets/WindowHost.h"

namespace tavi {

std::optional<std::string> RunTypedInWindow(TWindowHost& Host, TConnection& Connection, const std::string& Typed,
                                            TChannel* Channel, TQuery* Query, const std::function<void()>& ClearPane) {
  const TTypedOutcome outcome = RunTypedLine(Connection, Typed, Channel, Query);
  if (outcome.Kind == TTypedKind::Say) return outcome.Text;
  if (outcome.Kind == TTypedKind::Ran) return std::nullopt;
  if (outcome.Word == "clear") {
    ClearPane();
  } else if (outcome.Word == "dcc") {
    const std::size_t space = outcome.Args.find(' ');
    const std::string kind = outcome.Args.substr(0, space);
    const std::string nick = space == std::string::npos ? std::string() : outcome.Args.substr(space + 1);
    if (!nick.empty() && (kind == "chat" || kind == "CHAT")) Host.OfferDccChat(Connection, nick.substr(0, nick.find(' ')));
    if (!nick.empty() && (kind == "send" || kind == "SEND")) Host.OfferDccFile(Connection, nick.substr(0, nick.find(' ')));
  } else {
    const std::string help =
        U8(u8"コマンド： /join /part /msg /query /notice /me /nick /topic /whois /kick /mode /invite /away /back "
           u8"/ctcp /dcc send|chat /quote /quit /clear /charset（// で始めると / から始まる発言）");
    if (Channel) Connection.Show(*Channel, TLineKind::Own, help);
    else if (Query) Connection.Show(*Query, help);
    else Connection.ShowInServerLog(help);
  }
  return std::nullopt;
}

bool CompleteOnTab(QLineEdit* Edit, TTabCompletion& Completion, int Key, TConnection& Connection,
                   const QStringList& Nicks) {
  if (Key != Qt::Key_Tab) {
    Completion.Reset();
    return false;
  }
  TCompletionSource source;
  source.Nicks = Nicks;
  for (const auto& channel : Connection.Channels()) source.Channels.push_back(QText(channel->Name()));
  for (const std::string& word : TypedCommandWords()) source.Commands.push_back(QString::fromStdString(word));
  if (const auto line = Completion.Complete(Edit->text(), Edit->cursorPosition(), source)) {
    Edit->setText(line->Text);
    Edit->setCursorPosition(line->Cursor);
  }
  return true;
}

}  // namespace tavi
