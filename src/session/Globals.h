// The program-wide state that every window reads: kept in one place so that a
// test can start from fresh state.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "session/Settings.h"

namespace tavi {

struct TGlobals {
  std::string CurrentNick;  // the session's nickname now

  std::unique_ptr<TSettingsModule> SettingsModule;
  TGrobalArea* GrobalArea = nullptr;  // owned by SettingsModule
  TLocalArea* LocalArea = nullptr;
  std::string IniFileName;

  std::string VersionText;                    // sent in CTCP VERSION replies
  std::vector<std::string> RecieveDenyList;   // refused nicknames, in memory only
  std::string AwayMessage;
  bool NamesRequested = false;

  // The user's own modes i, s, w and o.
  bool InvisibleMode = false;
  bool NoticeMode = false;
  bool WallOpsMode = false;
  bool IrcOpeMode = false;
};

TGlobals& Globals();
// Back to the state of a fresh start, with fresh empty settings.
void ResetGlobals();

inline TGrobalArea& GrobalArea() { return *Globals().GrobalArea; }
inline TLocalArea& LocalArea() { return *Globals().LocalArea; }

}  // namespace tavi
