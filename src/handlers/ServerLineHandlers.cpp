// Registration and server status: ERROR, PING, the welcome and the message of
// the day.
#include "handlers/ServerLineHandlers.h"

#include <QMetaObject>

#include "kanji/SjisText.h"
#include "protocol/ChannelState.h"
#include "session/Globals.h"
#include "frame/MainForm.h"

namespace tavi {

void TServerLineHandlers::Later(std::function<void()> Call) {
  // Queued on the main window: gone with it, and run by the event loop, a
  // message box's own loop included, so PINGs are still answered.
  QMetaObject::invokeMethod(&main_, std::move(Call), Qt::QueuedConnection);
}

void AdoptOwnNick(const std::string& Nick) {
  // A hostile server must not rewrite the saved nick: only a nick the user
  // typed is saved, and only a plausible one is used.
  if (!IsPlausibleNick(Nick)) return;
  TGlobals& g = Globals();
  g.CurrentNick = Nick;
  if (Nick == g.EnteredNick) GrobalArea().NickName1 = Nick;
}

void TServerLineHandlers::ErrorCommand(TToken Token) {
  std::string text = Token.Command;
  for (std::size_t k = 1; k <= 15 && !Token.Params[k].empty(); ++k) text += " " + Token.Params[k];
  main_.AddServerMemoLine(StampedLine(text));
}

void TServerLineHandlers::PingCommand(TToken Token) {
  main_.SendLine("PONG " + WithoutColon(Token.Params[1]) + "\r\n");
}

void TServerLineHandlers::Welcome001(TToken Token) {
  AdoptOwnNick(Token.Params[1]);
  main_.SetStatusText(Sj(u8"IRCサーバーとの接続が完了しました。"));
}

void TServerLineHandlers::MotdStart375(TToken Token) { main_.AddServerMemoLine(StampedLine(Token.Params[2])); }
void TServerLineHandlers::Motd372(TToken Token) { main_.AddServerMemoLine(StampedLine(Token.Params[2])); }

void TServerLineHandlers::EndOfMotd376(TToken Token) {
  main_.AddServerMemoLine(StampedLine(Token.Params[2]));
  main_.EnableSessionControls();
  main_.SendLine("MODE " + Globals().CurrentNick + "\r\n");
}

// A server without a message of the day ends registration with 422.
void TServerLineHandlers::NoMotd422(TToken Token) { EndOfMotd376(std::move(Token)); }

void TServerLineHandlers::TriggerNickCmd() { main_.NickCmd->trigger(); }

}  // namespace tavi
