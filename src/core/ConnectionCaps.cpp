// What the server says of itself: the SASL login's end, and its ISUPPORT
// tokens (how it folds case, its ranks, channel marks and mode kinds, the
// network's name).
#include <QMetaObject>
#include <cctype>
#include <string>

#include "core/Connection.h"
#include "core/NickKeeper.h"
#include "kanji/QtText.h"
#include "protocol/Message.h"

namespace tavi {
namespace {

// ISUPPORT values write a space and other bytes as "\xHH".
std::string IsupportValue(std::string_view Value, std::size_t MaxBytes) {
  std::string text;
  for (std::size_t i = 0; i < Value.size() && text.size() < MaxBytes; ++i) {
    char c = Value[i];
    const auto hex = [&](std::size_t At) { return At < Value.size() && std::isxdigit(static_cast<unsigned char>(Value[At])); };
    if (c == '\\' && i + 1 < Value.size() && Value[i + 1] == 'x' && hex(i + 2) && hex(i + 3)) {
      c = static_cast<char>(std::stoi(std::string(Value.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    }
    // Nothing that would break a caption or a log line.
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) text.push_back(c);
  }
  return text;
}

}  // namespace

void TConnection::TakeIsupport(const TMessage& Message) {
  // The first parameter is our nick and the last the server's words.
  for (std::size_t i = 1; i + 1 < Message.Params.size(); ++i) {
    const std::string& token = Message.Params[i];
    const std::size_t equals = token.find('=');
    const std::string_view key = std::string_view(token).substr(0, equals);
    const std::string_view value = equals == std::string::npos ? std::string_view() : std::string_view(token).substr(equals + 1);
    if (key == "CASEMAPPING") SetCaseMapping(CaseMappingNamed(std::string(value)));
    else if (key == "PREFIX") SetRankPrefixes(TRankPrefixes::FromIsupport(value));
    else if (key == "NICKLEN") nickLen_ = NickLenValue(value);
    else if (key == "CHANTYPES") channelTypes_ = IsupportValue(value, 16);
    else if (key == "CHANMODES") channelModeKinds_ = TChannelModeKinds::FromIsupport(IsupportValue(value, 128));
    else if (key == "NETWORK") {
      const std::string name = IsupportValue(value, 64);
      if (name == announcedNetwork_) continue;
      announcedNetwork_ = name;
      emit NetworkAnnounced();
    }
  }
}

bool TConnection::IsChannelName(std::string_view Name) const {
  return !Name.empty() && channelTypes_.find(Name.front()) != std::string::npos;
}

std::string TConnection::DisplayName() const {
  // A network named after its server, or not at all, was not named by the user.
  const bool named = !network_.Name.empty() && (network_.Servers.empty() || network_.Name != network_.Servers.front().Host);
  if (named || announcedNetwork_.empty()) return NetworkName();
  return announcedNetwork_;
}

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
