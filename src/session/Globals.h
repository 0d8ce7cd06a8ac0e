// The session object: the program-wide state that every window reads, kept
// in one place so that a test can start from fresh state with one call.
#pragma once

#include <QPointer>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kanji/SjisCase.h"
#include "settings/Settings.h"

namespace tavi {

class TAwayCmdForm;
class TDccTransFileForm;
class TMainForm;
class TMemberEditorForm;
class TRecieveFileThread;
class TRichLog;
class TSendFileThread;

struct TGlobals {
  // The one main window and the windows that exist at most once. The names
  // that the windows use for these (MainForm, DccTransFileForm, ...) refer to
  // the fields here.
  TMainForm* MainForm = nullptr;
  TDccTransFileForm* DccTransFileForm = nullptr;
  TSendFileThread* SendFileThread = nullptr;
  TRecieveFileThread* RecieveFileThread = nullptr;
  TAwayCmdForm* AwayCmdForm = nullptr;
  // The ban mask editor waiting for the end of a ban list.
  QPointer<TMemberEditorForm> PendingBanMaskEditor;

  // Nesting of received-line bursts, and the logs that wait for its end;
  // when they were last flushed and whether a timer will flush them.
  int BurstDepth = 0;
  std::vector<QPointer<TRichLog>> WaitingLogs;
  std::chrono::steady_clock::time_point LastLogFlush;
  bool LogFlushArmed = false;

  std::string CurrentNick;  // the session's nickname now
  std::string EnteredNick;  // the last nick the user typed in the nick dialog

  std::unique_ptr<TSettingsModule> SettingsModule;
  TGrobalArea* GrobalArea = nullptr;  // owned by SettingsModule
  TLocalArea* LocalArea = nullptr;
  std::string IniFileName;

  std::string VersionText;                    // sent in CTCP VERSION replies
  std::vector<std::string> RecieveDenyList;   // refused nicknames, in memory only
  std::string AwayMessage;
  // The key last used with each channel in this run; never written to the
  // settings file, so a restart starts without keys.
  std::map<std::string, std::string, TSjisCaselessLess> ChannelKeys;
  bool NamesRequested = false;
  // LIST and ISON requests the user sent whose answers are still to come:
  // answers nobody asked for are not listed.
  int ListRequests = 0;
  int IsonRequests = 0;

  // The user's own modes i, s, w and o.
  bool InvisibleMode = false;
  bool NoticeMode = false;
  bool WallOpsMode = false;
  bool IrcOpeMode = false;
};

TGlobals& Globals();
// Back to the state of a fresh start, with fresh empty settings, a fresh
// DCC port table and the DCC workers' usual time limits. Windows that still
// exist are not freed.
void ResetGlobals();

inline TGrobalArea& GrobalArea() { return *Globals().GrobalArea; }
inline TLocalArea& LocalArea() { return *Globals().LocalArea; }

}  // namespace tavi
