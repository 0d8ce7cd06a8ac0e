// The whole received-line path: the input, cut into lines at LF and framed
// as the receive thread frames the server's bytes, goes through the
// dispatcher into the handlers of one real main window on a fake platform.
// Nothing may crash, hang or leak.
//
// Every input starts from a fresh main window and fresh session state, so a
// finding replays from its own input alone, and the windows that lines open
// cannot pile up from one input to the next.
//
// Built as fuzz_lines_boxes (TAVI_REAL_BOXES), the platform shows Qt's real
// message boxes, which a timer closes: their own event loops then run the
// deferred deletes and queued calls that a fake platform never reaches.
#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "FakePlatform.h"
#include "FeedBurst.h"
#include "RealBoxPlatform.h"
#include "core/Connection.h"
#include "core/Session.h"
#include "frame/MainForm.h"

using namespace tavi;

namespace {

// Registration is done: the own nick is known as the server named it.
constexpr std::string_view Preamble = ":srv 001 me :hi\r\n";

#ifdef TAVI_REAL_BOXES
constexpr bool RealBoxes = true;
#else
constexpr bool RealBoxes = false;
#endif

struct TWorld {
  QTemporaryDir Folder;
  test::TFakePlatform Platform;  // no box ever waits; every question is No
  std::unique_ptr<test::TRealBoxPlatform> Boxes;  // closed at once, as No
};
TWorld* World = nullptr;

// After the main window (and with it every window it owns) is gone: runs the
// deferred deletions and zero-time timers, and ends any window left without
// an owner.
void Settle() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  QList<QPointer<QWidget>> strays;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (!w->parentWidget()) strays.append(w);
  for (const QPointer<QWidget>& w : strays) delete w.data();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

// Fontconfig keeps its caches to the end of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform's remarks (no raise(), ...) would flood the log;
  // a fatal one still aborts after the handler.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  // Lives for the whole run, like the program's own.
  static int QtArgc = 1;
  static char* QtArgv[] = {(*Argv)[0], nullptr};
  (void)Argc;
  new QApplication(QtArgc, QtArgv);
  World = new TWorld;
  if (!World->Folder.isValid()) std::abort();
  // Settings are looked for beside the program and in the configuration
  // folder: both inside the scratch folder.
  qputenv("XDG_CONFIG_HOME", World->Folder.path().toLocal8Bit());
  World->Platform.ProgramPath = World->Folder.filePath(QStringLiteral("Tavi")).toStdString();
  SetPlatform(&World->Platform);
  if (RealBoxes) {
    World->Boxes = std::make_unique<test::TRealBoxPlatform>(0);
    World->Boxes->ProgramPath = World->Platform.ProgramPath;
    World->Boxes->ActivateOnShow = true;
    SetPlatform(World->Boxes.get());
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  World->Platform.Reset();
  {
    TSession session;
    TConnection& connection = session.Connection();
    // The user asked for a channel list and an ISON: their answers are taken.
    connection.Own.ListRequests = connection.Own.IsonRequests = 1;
    TMainForm form(session);
    connection.SetLineSink([](const std::string&) {});
    // Shown, so that windows take and lose the activation as on a desktop.
    if (RealBoxes) form.show();

    FeedBurst(connection, Preamble, Data, Size);
    QCoreApplication::processEvents();
  }
  Settle();
  return 0;
}
