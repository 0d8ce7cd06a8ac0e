#include "core/ConnectErrors.h"

#include <netdb.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <utility>

#include "core/ConnectionOptions.h"
#include "kanji/QtText.h"

namespace tavi {

namespace {

std::string Seconds(int Ms) { return std::to_string((std::max(Ms, 0) + 999) / 1000); }

// The usual ports, as the connection dialog proposes them.
std::string UsualPorts() {
  return U8(u8"（IRC では普通、SSL/TLS は ") + TlsIrcPort + U8(u8"、SSL/TLS なしは ") + PlainIrcPort +
         U8(u8" です）");
}

// A connection without TLS to a port that speaks TLS.
std::string TlsPortHint() {
  return U8(u8"このポートは SSL/TLS 用かもしれません") + UsualPorts() +
         U8(u8"。「サーバーとの設定」で SSL/TLS を選ぶか、ポート番号を確かめてください。");
}

// A TLS connection to a port that does not.
std::string PlainPortHint() {
  return U8(u8"このポートは SSL/TLS 用ではないかもしれません") + UsualPorts() +
         U8(u8"。ポート番号か、「サーバーとの設定」の SSL/TLS を確かめてください。");
}

// The first bytes of a TLS record: an alert or a handshake, version 3.x.
bool LooksLikeTls(std::string_view Bytes) {
  return Bytes.size() >= 2 && (Bytes[0] == '\x15' || Bytes[0] == '\x16') && Bytes[1] == '\x03';
}

// OpenSSL's words, lower case, with "-" as a blank: its versions write
// "self signed" and "self-signed".
std::string Normalized(const std::string& Reason) {
  std::string text = Reason;
  for (char& c : text) c = c == '-' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string ServerText(const std::string& Host, const std::string& Port) { return Host + " : " + Port; }

std::string ConnectErrorMessage(const std::string& Server, const TConnectError& Error) {
  std::string text = U8(u8"サーバー ") + Server + U8(u8" に接続できませんでした。") + "\r\n" + Error.What;
  if (!Error.Hint.empty()) text += "\r\n\r\n" + Error.Hint;
  if (!Error.Detail.empty()) text += "\r\n(" + Error.Detail + ")";
  return text;
}

std::string ConnectErrorStatus(const std::string& Server, const TConnectError& Error) {
  return U8(u8"接続できませんでした：") + Error.What + U8(u8"　サーバー名：") + Server;
}

TConnectError SocketConnectError(const std::string& Host, int Code, const std::string& Text, int TimeoutMs) {
  TConnectError error;
  error.Detail = Text;
  switch (Code) {
    case ECONNREFUSED:
      error.What = U8(u8"サーバーが接続を拒否しました。");
      error.Hint = U8(u8"サーバー名とポート番号が正しいか、サーバーが動いているかを確かめてください。");
      break;
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      error.What = U8(u8"ホスト名 ") + Host + U8(u8" が見つかりませんでした。");
      error.Hint = U8(u8"サーバー名のつづりを確かめてください。");
      break;
    case ECONNRESET:
    case ECONNABORTED:
      error.What = U8(u8"サーバーが接続を受け付けてすぐに切りました。");
      error.Hint = U8(u8"サーバー名とポート番号が正しいかを確かめてください。");
      break;
    case ETIMEDOUT:
      error.What = Seconds(TimeoutMs) + U8(u8" 秒待ちましたが、サーバーから応答がありませんでした。");
      error.Hint = U8(u8"サーバー名とポート番号、ネットワークの接続を確かめてください。");
      break;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
      error.What = U8(u8"サーバーまでのネットワークにつながりません。");
      error.Hint = U8(u8"ネットワークの接続を確かめてください。");
      break;
    case EINVAL:
      error.What = U8(u8"ポート番号が範囲外です。");
      error.Hint = U8(u8"1 から 65535 までの番号を設定してください。");
      break;
    default:
      if (Code < 0) {
        // The resolver could not ask (no DNS server answers, or none is set).
        error.What = U8(u8"ホスト名 ") + Host + U8(u8" を調べられませんでした。");
        error.Hint = U8(u8"ネットワークの接続と DNS の設定を確かめてください。");
      } else {
        error.What = U8(u8"接続中にエラーが発生しました（エラーコード ") + std::to_string(Code) + U8(u8"）。");
      }
      break;
  }
  return error;
}

TConnectError TlsHandshakeError(const TTlsCheck& Check, int TimeoutMs) {
  TConnectError error;
  error.Detail = Check.Reason;
  switch (Check.Failure) {
    case TTlsCheck::TFailure::NotTls:
      error.What = U8(u8"サーバーが SSL/TLS で応答しませんでした。");
      error.Hint = PlainPortHint();
      break;
    case TTlsCheck::TFailure::Closed:
      error.What = U8(u8"SSL/TLS の開始中にサーバーが接続を切りました。");
      error.Hint = PlainPortHint();
      break;
    case TTlsCheck::TFailure::Timeout:
      error.What = Seconds(TimeoutMs) + U8(u8" 秒待ちましたが、サーバーが SSL/TLS の開始に応答しませんでした。");
      error.Hint = PlainPortHint();
      break;
    default:
      error.What = U8(u8"SSL/TLS の接続を確立できませんでした。");
      break;
  }
  return error;
}

TConnectError NotIrcError(std::string_view FirstBytes, const std::string& Text) {
  TConnectError error;
  if (LooksLikeTls(FirstBytes))
    error.What = U8(u8"サーバーが IRC ではなく SSL/TLS で応答し、接続を切りました。");
  else if (!FirstBytes.empty())
    error.What = U8(u8"サーバーが IRC ではない応答を返し、接続を切りました。");
  else
    error.What = U8(u8"サーバーが何も答えずに接続を切りました。");
  error.Hint = TlsPortHint();
  error.Detail = Text;
  return error;
}

std::string CertificateReasonText(const std::string& Reason) {
  static const std::pair<const char*, const char8_t*> Known[] = {
      {"self signed certificate", u8"自己署名の証明書です"},
      {"self signed certificate in certificate chain", u8"証明書の連鎖に自己署名の証明書があります"},
      {"hostname mismatch", u8"証明書のホスト名がサーバー名と一致しません"},
      {"ip address mismatch", u8"証明書の IP アドレスがサーバーのアドレスと一致しません"},
      {"certificate has expired", u8"証明書の有効期限が切れています"},
      {"certificate is not yet valid", u8"証明書の有効期間がまだ始まっていません"},
      {"unable to get local issuer certificate", u8"証明書の発行者（認証局）がわかりません"},
      {"unable to get issuer certificate", u8"証明書の発行者（認証局）がわかりません"},
      {"unable to verify the first certificate", u8"証明書を検証できません（中間証明書が足りません）"},
      {"certificate revoked", u8"証明書は失効しています"},
      {"certificate signature failure", u8"証明書の署名が正しくありません"},
      {"invalid ca certificate", u8"認証局の証明書が正しくありません"},
      {"certificate not trusted", u8"証明書は信頼されていません"},
      {"certificate chain too long", u8"証明書の連鎖が長すぎます"},
      {"ee certificate key too weak", u8"証明書の鍵が弱すぎます"},
      {"ca signature digest algorithm too weak", u8"認証局の署名のアルゴリズムが弱すぎます"},
      {"no certificate", u8"サーバーが証明書を送ってきませんでした"},
  };
  const std::string key = Normalized(Reason);
  for (const auto& [english, japanese] : Known)
    if (key == english) return U8(japanese) + " (" + Reason + ")";
  return Reason;
}

TQuestion CertificateQuestion(const std::string& Server, const TTlsCheck& Check, const std::string& Pinned) {
  TQuestion question;
  question.Choices = {U8(u8"今回だけ許可"), U8(u8"常に許可"), U8(u8"拒否")};
  const std::string reason = U8(u8"理由：") + CertificateReasonText(Check.Reason);
  if (Pinned.empty()) {
    question.Title = U8(u8"サーバーの証明書の確認");
    question.Text = U8(u8"サーバー ") + Server + U8(u8" の証明書は、信頼できるものか確認できませんでした。") + "\r\n" +
                    reason + "\r\n\r\n" + U8(u8"SHA-256 フィンガープリント：") + "\r\n" + Check.Fingerprint;
  } else {
    question.Title = U8(u8"警告：サーバーの証明書が変わっています");
    question.Text = U8(u8"サーバー ") + Server + U8(u8" の証明書が、前回「常に許可」したものから変わっています。") +
                    "\r\n" +
                    U8(u8"サーバーの管理者が証明書を新しくしたのでなければ、別のサーバーが成りすましているおそれがあります。"
                       u8"確かでないときは「拒否」を選んでください。") +
                    "\r\n" + reason;
    question.SideBySide = {{U8(u8"以前の証明書 (SHA-256)"), Pinned}, {U8(u8"今回の証明書 (SHA-256)"), Check.Fingerprint}};
  }
  question.After = U8(u8"このサーバーに接続しますか？");
  return question;
}

}  // namespace tavi
