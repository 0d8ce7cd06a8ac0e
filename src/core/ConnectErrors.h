// What the user is told when a connect to a server fails, and the question
// about a certificate that is not trusted: what happened, in Japanese,
// naming the server, with a hint where one helps and the system's or
// OpenSSL's own words in brackets. Text only; no widgets.
#pragma once

#include <string>
#include <string_view>

#include "platform/BlockingSocket.h"
#include "platform/Platform.h"

namespace tavi {

struct TConnectError {
  std::string What;    // what happened, one sentence
  std::string Hint;    // what to check; empty when nothing helps
  std::string Detail;  // the system's or OpenSSL's words; may be empty
};

// "host : port", as the caption writes a server.
std::string ServerText(const std::string& Host, const std::string& Port);

// The message box: the server named, what happened, the hint, the detail.
std::string ConnectErrorMessage(const std::string& Server, const TConnectError& Error);
// The status bar, in one line.
std::string ConnectErrorStatus(const std::string& Server, const TConnectError& Error);

// The connect itself failed: Code is an errno value, or a negative
// resolver code (EAI_*); Text the system's words for it.
TConnectError SocketConnectError(const std::string& Host, int Code, const std::string& Text, int TimeoutMs);
// The TLS handshake failed.
TConnectError TlsHandshakeError(const TTlsCheck& Check, int TimeoutMs);
// A connection without TLS ended before the server said a word of IRC.
// FirstBytes: what the server sent, if anything; Text: the read error.
TConnectError NotIrcError(std::string_view FirstBytes, const std::string& Text);

// OpenSSL's reason why a certificate is not trusted, in Japanese with the
// English in brackets; the English alone when it is not a common one.
std::string CertificateReasonText(const std::string& Reason);

// The question about a certificate that is not trusted: a new one, or,
// with Pinned, one that differs from the one the user accepted for good.
// The choices: this time, always, refuse.
TQuestion CertificateQuestion(const std::string& Server, const TTlsCheck& Check, const std::string& Pinned);

}  // namespace tavi
