// The DCC desk of the windows: offers are put to the user after the line
// that brought them, and the answers about our own transfers go to the
// frame's transfer window.
#pragma once

#include "core/DccDesk.h"

namespace tavi {

class TWindowHost;

class TDccWindowsDesk : public TDccDesk {
 public:
  explicit TDccWindowsDesk(TWindowHost& Host) : host_(Host) {}

  bool Resume(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer) override;
  bool Accept(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer) override;
  void Offer(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer,
             std::function<void()> Answered) override;

 private:
  TWindowHost& host_;
};

}  // namespace tavi
