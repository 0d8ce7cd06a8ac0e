#include "session/Globals.h"

#include "dcc/DccProtocol.h"
#include "dcc/DccTransFile.h"
#include "dcc/RecieveFileThread.h"

namespace tavi {

namespace {
TGlobals& Instance() {
  static TGlobals globals;
  return globals;
}
}  // namespace

TGlobals& Globals() { return Instance(); }

void ResetGlobals() {
  TGlobals& g = Instance();
  g = TGlobals();
  g.SettingsModule = std::make_unique<TSettingsModule>();
  g.GrobalArea = &g.SettingsModule->GrobalArea();
  g.LocalArea = &g.SettingsModule->LocalArea();
  DccPortTable().Reset();
  TSendFileThread::SetAckWaitMs(TSendFileThread::DefaultAckWaitMs);
  TRecieveFileThread::SetDataWaitMs(TRecieveFileThread::DefaultDataWaitMs);
}

}  // namespace tavi
