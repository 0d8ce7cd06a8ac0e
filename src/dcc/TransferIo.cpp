#include "dcc/TransferIo.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <system_error>

#include "dcc/TransferText.h"
#include "kanji/QtText.h"
#include "platform/BlockingSocket.h"

namespace tavi {

std::string PathText(const std::string& Path) { return StdText(QFile::decodeName(QByteArray::fromStdString(Path))); }

std::string NativePath(const std::string& Text) { return QFile::encodeName(QText(Text)).toStdString(); }

std::string FileErrorText(const std::string& Path, int Code) {
  return PathText(Path) + ": " + std::generic_category().message(Code);
}

std::string ConnectionErrorText(const TBlockingSocket& Socket) {
  const int Code = Socket.ErrorCode();
  return Code == ECONNRESET || Code == EPIPE ? HungUpText() : Socket.ErrorText();
}

void SendAtOnce(int Fd) {
  const int On = 1;
  if (Fd >= 0) ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
}

void AcknowledgeAtOnce(int Fd) {
#ifdef TCP_QUICKACK
  const int On = 1;
  if (Fd >= 0) ::setsockopt(Fd, IPPROTO_TCP, TCP_QUICKACK, &On, sizeof On);
#else
  (void)Fd;
#endif
}

}  // namespace tavi
