// The event processor alone, with no window at all: the input, cut into
// lines at LF and framed as the receive thread frames the server's bytes,
// goes through a fresh session's connection, whose model and signals take
// it. Tagged lines, DCC offers (to a desk that answers at once) and every
// reply reach the handlers. Nothing may crash, hang or leak.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FakePlatform.h"
#include "FeedBurst.h"
#include "core/Connection.h"
#include "core/DccDesk.h"
#include "core/Session.h"

using namespace tavi;

namespace {

// Registration is done: the own nick is known as the server named it, and
// the user asked for a list and an ISON.
constexpr std::string_view Preamble = ":srv 001 me :hi\r\n:srv 376 me :End\r\n";

// Answers every offer at once, as a user who says no would.
class TAnsweringDesk : public TDccDesk {
 public:
  bool Resume(TConnection&, const std::string&, const TDccOffer&) override { return false; }
  bool Accept(TConnection&, const std::string&, const TDccOffer&) override { return false; }
  void Offer(TConnection&, const std::string&, const TDccOffer&, std::function<void()> Answered) override {
    Answered();
  }
};

struct TWorld {
  QTemporaryDir Folder;
  test::TFakePlatform Platform;
  TAnsweringDesk Desk;
};
TWorld* World = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
  static int QtArgc = 1;
  static char* QtArgv[] = {(*Argv)[0], nullptr};
  (void)Argc;
  new QCoreApplication(QtArgc, QtArgv);
  World = new TWorld;
  if (!World->Folder.isValid()) std::abort();
  qputenv("XDG_CONFIG_HOME", World->Folder.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", World->Folder.path().toLocal8Bit());
  World->Platform.ProgramPath = World->Folder.filePath(QStringLiteral("Tavi")).toStdString();
  SetPlatform(&World->Platform);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  World->Platform.Reset();
  {
    TSession session;
    session.SetDccDesk(&World->Desk);
    TConnection& connection = session.Connection();
    connection.SetLineSink([](const std::string&) {});
    connection.Own.ListRequests = connection.Own.IsonRequests = 1;
    connection.Own.NamesRequested = Size % 2 == 1;

    FeedBurst(connection, Preamble, Data, Size);
    QCoreApplication::processEvents();
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return 0;
}
