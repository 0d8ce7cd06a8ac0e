// What the capability negotiation tells the user: the SASL login's end.
#include <QMetaObject>

#include "core/Connection.h"
#include "kanji/QtText.h"

namespace tavi {

void TConnection::SaslFinished(TSaslOutcome Outcome, const std::string& Text) {
  std::string said;
  switch (Outcome) {
    case TSaslOutcome::LoggedIn:
      said = U8(u8"SASL でログインしました。") + (Text.empty() ? "" : "（" + Text + "）");
      ShowInServerLog(Stamp() + " " + said);
      return;
    case TSaslOutcome::NotOffered:
      said = U8(u8"サーバーは SASL でのログインに対応していません。");
      break;
    case TSaslOutcome::Failed:
    case TSaslOutcome::Aborted:
    case TSaslOutcome::None:
      said = U8(u8"SASL でのログインに失敗しました。") + (Text.empty() ? "" : "（" + Text + "）");
      break;
  }
  if (!network_.Sasl.Required) {
    said += U8(u8"ログインせずに続けます。");
    ShowInServerLog(Stamp() + " " + said);
    SetStatusText(said);
    return;
  }
  said += U8(u8"接続を終えます。");
  ShowInServerLog(Stamp() + " " + said);
  // Not from inside the line's handling: the connection ends after it, and
  // a wrong password is not tried again and again.
  QMetaObject::invokeMethod(
      this,
      [this, said] {
        Disconnect("SASL");
        SetStatusText(said);
        emit MessageForUser(said);
      },
      Qt::QueuedConnection);
}

}  // namespace tavi
