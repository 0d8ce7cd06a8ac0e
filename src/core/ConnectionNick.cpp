// The connection's own nick: stand-ins while the wanted nick is taken at
// registration, and taking it back once its holder has gone.
#include <QTimer>

#include "core/Connection.h"
#include "kanji/QtText.h"

namespace tavi {

void TConnection::SendNick(const std::string& Nick) {
  Own.EnteredNick = Nick;
  // The user's word ends the regaining; the nick, once the server gives
  // it, is the one kept.
  nicks_.Choose({});
  regainTimer_->stop();
  SendLine("NICK " + Nick + "\r\n");
}

bool TConnection::TakeNickRefusal(const std::string& Nick, bool InUse) {
  if (!nicks_.Registering()) return nicks_.TakeRegainRefusal(Nick, caseMapping_);
  if (state_ != TConnectionState::Registering) return false;
  const std::string next = nicks_.NextChoice(InUse);
  if (next.empty()) return false;
  const std::string why = InUse ? U8(u8" は使用中です。") : U8(u8" は使えません。");
  ShowInServerLog(Stamp() + U8(u8" ニックネーム ") + Nick + why + next + U8(u8" で接続します。"));
  Own.CurrentNick = next;
  SendLine("NICK " + next + "\r\n");
  return true;
}

void TConnection::NickFreed(const std::string& Nick) {
  if (state_ != TConnectionState::Registered || !nicks_.Missing(Own.CurrentNick, caseMapping_)) return;
  if (SameName(Nick, nicks_.Wanted(), caseMapping_)) TakeWantedNick();
}

bool TConnection::TakeIsonAnswer(const std::vector<std::string>& Nicks) {
  if (nicks_.IsonsOut <= 0) return false;
  --nicks_.IsonsOut;
  if (state_ != TConnectionState::Registered || !nicks_.Missing(Own.CurrentNick, caseMapping_)) return true;
  for (const std::string& nick : Nicks)
    if (SameName(nick, nicks_.Wanted(), caseMapping_)) return true;
  TakeWantedNick();
  return true;
}

void TConnection::AskAfterWantedNick() {
  if (state_ != TConnectionState::Registered || !nicks_.Missing(Own.CurrentNick, caseMapping_)) {
    regainTimer_->stop();
    return;
  }
  // Answers come in the order asked: ours is asked only when no answer to
  // the user's is awaited, so the next one is ours.
  if (Own.IsonRequests > 0 || nicks_.IsonsOut > 0) return;
  ++nicks_.IsonsOut;
  SendLine("ISON " + nicks_.Wanted() + "\r\n");
}

void TConnection::TakeWantedNick() {
  nicks_.RegainSent();
  SendLine("NICK " + nicks_.Wanted() + "\r\n");
}

}  // namespace tavi
