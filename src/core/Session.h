// The session object: what the program holds while it runs, passed by
// reference to what needs it. The settings and their file, the version text
// of CTCP replies, the chat log while logs are kept, the
// certificates accepted for this run, the DCC port table, and the
// connections.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ChatLog.h"
#include "core/Networks.h"
#include "dcc/DccProtocol.h"
#include "settings/Settings.h"

namespace tavi {

class TConnection;
class TDccDesk;

class TSession : public QObject {
  Q_OBJECT
 public:
  // Starts with empty settings; LoadSettings reads the file.
  explicit TSession(QObject* Parent = nullptr);
  ~TSession() override;

  // --- settings ---
  // Reads Tavi.Ini from beside the program (or the user's configuration
  // folder when the program's cannot be written). Empty, or a message for
  // the user about a file that could not be read.
  std::string LoadSettings();
  // Writes it back; empty, or a message about a file that could not be
  // written. What Shift-JIS cannot hold is kept beside it, in the desktop
  // settings.
  std::string SaveSettings();
  TGrobalArea& Grobal() { return module_.GrobalArea(); }
  TLocalArea& Local() { return module_.LocalArea(); }
  TSettingsModule& SettingsModule() { return module_; }
  const std::string& IniFileName() const { return iniFileName_; }
  const std::string& SettingsLoadPath() const { return loadPath_; }
  const std::string& SettingsSavePath() const { return savePath_; }

  // --- shared by the connections ---
  // Sent in CTCP VERSION replies.
  std::string VersionText;
  // The log while logs are kept (the connection options say), else none.
  TChatLog* ChatLog() const { return chatLog_.get(); }
  void ApplyLogChoice(bool Logs);
  // Certificates the user accepted for this run only.
  bool AcceptedOnce(const std::string& Server, const std::string& Fingerprint) const;
  void AcceptOnce(const std::string& Server, const std::string& Fingerprint);
  TDccPortTable& DccPorts() { return dccPorts_; }
  // Where the handlers hand DCC offers and the answers about our own
  // transfers; none until the windows set it.
  TDccDesk* DccDesk() const { return dccDesk_; }
  void SetDccDesk(TDccDesk* Desk) { dccDesk_ = Desk; }

  // --- connections ---
  // Channel windows open at once across every network; beyond it a forced
  // join is left again, as beyond one network's own bound.
  static constexpr int MaxChannelsInTotal = 1000;
  int ChannelBoundInTotal() const { return channelBoundInTotal_; }
  void SetChannelBoundInTotal(int Bound) { channelBoundInTotal_ = Bound; }
  int ChannelsInTotal() const;
  // The first network's: the settings file's server.
  TConnection& Connection() { return *connections_.front(); }
  const std::vector<std::unique_ptr<TConnection>>& Connections() const { return connections_; }
  // A connection to a further network, not connected yet.
  TConnection& AddConnection(const TNetwork& Network);
  // Ends a further network's connection (without QUIT) and forgets it;
  // the first stays.
  void RemoveConnection(TConnection* Connection);

 signals:
  void ConnectionAdded(TConnection* Connection);
  // Before the connection goes.
  void ConnectionRemoving(TConnection* Connection);

 private:
  TSettingsModule module_;
  // The module as the file holds it, for writing unchanged fields back as
  // they were.
  TSettingsModule fileModule_;
  std::string iniFileName_;
  std::string loadPath_;
  std::string savePath_;
  // A damaged file that could not be moved aside is not saved over.
  bool saveAllowed_ = true;
  std::unique_ptr<TChatLog> chatLog_;
  std::vector<std::pair<std::string, std::string>> acceptedOnce_;
  TDccPortTable dccPorts_;
  TDccDesk* dccDesk_ = nullptr;
  std::vector<std::unique_ptr<TConnection>> connections_;
  int channelBoundInTotal_ = MaxChannelsInTotal;
};

}  // namespace tavi
