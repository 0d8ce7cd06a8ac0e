#include "dcc/DccDeskWindows.h"

#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include "core/Connection.h"
#include "dcc/DCC.h"
#include "dcc/DccTransFile.h"
#include "widgets/WindowHost.h"

namespace tavi {

bool TDccWindowsDesk::Resume(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer) {
  return ResumeDccSend(host_.FrameWindow(), Connection, Nick, Offer.Argument, Offer.Port, Offer.Size);
}

bool TDccWindowsDesk::Accept(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer) {
  return AcceptDccResume(host_.FrameWindow(), Connection, Nick, Offer.Port, Offer.Size);
}

void TDccWindowsDesk::Offer(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer,
                            std::function<void()> Answered) {
  // Questions run after the line: a box must never hold the session.
  QPointer<TConnection> connection(&Connection);
  TWindowHost* host = &host_;
  QMetaObject::invokeMethod(
      host_.FrameWindow(),
      [host, connection, Nick, Offer, Answered = std::move(Answered)] {
        struct TAnswered {
          const std::function<void()>& Done;
          ~TAnswered() { Done(); }
        } answered{Answered};
        if (!connection) return;
        if (Offer.Kind == TDccKind::Chat)
          OpenDccChat(*host, *connection, Nick, Offer.Address, Offer.Port, "CLIENT");
        else
          ReceiveDccFile(host->FrameWindow(), *connection, Nick, Offer.Argument, Offer.Address, Offer.Port,
                         Offer.Size, "CLIENT");
      },
      Qt::QueuedConnection);
}

}  // namespace tavi
