// What the frame shows of one connection: a window for each of its channels
// and queries (made and closed as the connection says), its lines routed to
// them and to the server log, its replies in the result windows, its state
// in the frame's controls. The registry maps the model to the windows.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Connection.h"

namespace tavi {

class TChatForm;
class TMdiChildForm;
class TMainForm;
class TTalkForm;
class TServerLogForm;

class TConnectionView : public QObject {
  Q_OBJECT
 public:
  // ServerLog: a further network's server window; the first network's
  // server log is the frame's.
  TConnectionView(TMainForm& Frame, TConnection& Connection, TServerLogForm* ServerLog = nullptr);
  ~TConnectionView() override;

  TConnection& Connection() const { return connection_; }
  // The windows of a channel and a query of the connection.
  TChatForm* WindowOf(const TChannel* Channel) const;
  TTalkForm* WindowOf(const TQuery* Query) const;

 private:
  void ShowLine(const TShownLine& Line);
  // The window the user looks at sees its lines; others are marked.
  bool Seen(const TMdiChildForm* Window) const;
  void NoteUnseen(TMdiChildForm* Window, const TShownLine& Line);
  void NotifyHighlight(TMdiChildForm* Window, const TShownLine& Line);
  void ChannelAdded(TChannel* Channel, TOpening Opening);
  void ChannelRemoved(TChannel* Channel);
  void QueryAdded(TQuery* Query, TOpening Opening);
  void QueryRemoved(TQuery* Query);
  void ConnectReplies();
  // Captions say which windows are kept from a connection that ended.
  void MarkOffline();
  // Asks about the server's certificate after the event that raised it.
  void AskTrust(const TQuestion& Question);

  TMainForm& frame_;
  TConnection& connection_;
  QPointer<TServerLogForm> serverLog_;
  std::unordered_map<const TChannel*, QPointer<TChatForm>> channels_;
  std::unordered_map<const TQuery*, QPointer<TTalkForm>> queries_;
  static constexpr std::uint32_t NotifyIntervalMs = 1000;
  bool notified_ = false;
  std::uint32_t lastNotified_ = 0;
};

}  // namespace tavi
