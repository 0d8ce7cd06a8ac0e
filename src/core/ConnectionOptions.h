// The connection choices the settings file has no room for (TLS,
// reconnecting, logs) and the certificates the user trusts, kept in the
// desktop settings file beside the window's place.
#pragma once

#include <string>
#include <vector>

namespace tavi {

struct TConnectionOptions {
  bool Tls = false;
  bool Reconnect = true;
  bool Logs = false;
  // Nicks to register with when the server has the nick taken.
  std::vector<std::string> AlternateNicks;
  // Words besides the nick that mark a line as meant for the user.
  std::vector<std::string> HighlightWords;
  // Highlights and private messages go to the desktop's notifications.
  bool Notifications = true;

  static TConnectionOptions With(bool Tls, bool Reconnect, bool Logs) {
    TConnectionOptions options;
    options.Tls = Tls;
    options.Reconnect = Reconnect;
    options.Logs = Logs;
    return options;
  }
};

TConnectionOptions LoadConnectionOptions();
void SaveConnectionOptions(const TConnectionOptions& Options);

// The SHA-256 fingerprint the user accepted for good for Host:Port; empty
// when none.
std::string PinnedFingerprint(const std::string& Host, int Port);
void PinFingerprint(const std::string& Host, int Port, const std::string& Fingerprint);

// The port proposed for TLS in place of the plain IRC port, and back.
constexpr const char* PlainIrcPort = "6667";
constexpr const char* TlsIrcPort = "6697";

}  // namespace tavi
