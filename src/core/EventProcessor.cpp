// Registration and server status: ERROR, PING, the welcome and the message of
// the day; the user's own nick and modes.
#include "core/EventProcessor.h"

#include "core/Connection.h"
#include "core/Session.h"
#include "kanji/QtText.h"
#include "protocol/ChannelState.h"

namespace tavi {

std::string LeftOutText(int Count) {
  return U8(u8"（このほかに ") + std::to_string(Count) + U8(u8" 件ありましたが、多すぎるため表示しません。）");
}

void TEventProcessor::AdoptOwnNick(const std::string& Nick) {
  // A hostile server must not rewrite the saved nick: only a nick the user
  // typed is saved, and only a plausible one is used.
  if (!IsPlausibleNick(Nick)) return;
  c_.Own.CurrentNick = Nick;
  if (Nick == c_.Own.EnteredNick) {
    c_.Area().NickName1 = Nick;
    c_.Nicks().Choose(Nick);
  }
}

void TEventProcessor::ApplyUserModeText(std::string_view Params2, bool WholeSet) {
  if (WholeSet)
    ParseUserModeSet(Params2, c_.Own.Modes);
  else
    ParseUserModes(Params2, c_.Own.Modes);
}

void TEventProcessor::Reset() {
  replyState_ = TQueryReplyState();
  ownEcho_ = TOwnEcho();
  // Blocks of history end with the connection; batches never ended go.
  c_.EndHistory();
  c_.Playback().Reset();
}

void TEventProcessor::ErrorCommand(TToken Token) {
  std::string text = Token.Command;
  for (std::size_t k = 1; k <= 15 && !Token.Params[k].empty(); ++k) text += " " + Token.Params[k];
  c_.ShowInServerLog(c_.Stamp() + " " + text);
}

void TEventProcessor::PingCommand(TToken Token) { c_.SendLine("PONG " + WithoutColon(Token.Params[1]) + "\r\n"); }

void TEventProcessor::Welcome001(TToken Token) {
  c_.Nicks().EndRegistration();
  AdoptOwnNick(Token.Params[1]);
  c_.SetStatusText(U8(u8"IRCサーバーとの接続が完了しました。"));
}

void TEventProcessor::MotdStart375(TToken Token) { c_.ShowInServerLog(c_.Stamp() + " " + Token.Params[2]); }
void TEventProcessor::Motd372(TToken Token) { c_.ShowInServerLog(c_.Stamp() + " " + Token.Params[2]); }

void TEventProcessor::EndOfMotd376(TToken Token) {
  c_.ShowInServerLog(c_.Stamp() + " " + Token.Params[2]);
  c_.Registered();
  c_.SendLine("MODE " + c_.Own.CurrentNick + "\r\n");
}

// A server without a message of the day ends registration with 422.
void TEventProcessor::NoMotd422(TToken Token) { EndOfMotd376(std::move(Token)); }

bool TEventProcessor::NickRefused(const TToken& Token) {
  const bool inUse = Token.Command == "433";
  if (c_.TakeNickRefusal(Token.Params[2], inUse)) return true;
  // The user chooses another in the nick dialog.
  if (inUse) emit c_.NickRejected();
  return false;
}

}  // namespace tavi
