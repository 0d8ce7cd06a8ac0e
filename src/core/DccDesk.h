// Where the handlers of server lines hand DCC: offers to be put to the
// user, and the answers to our own offers. The session holds one; the
// transfer windows provide it.
#pragma once

#include <functional>
#include <string>

#include "protocol/Ctcp.h"

namespace tavi {

class TConnection;

class TDccDesk {
 public:
  virtual ~TDccDesk() = default;
  // Nick's RESUME of a file we offer (true when one of ours takes it), and
  // Nick's ACCEPT of a RESUME of ours.
  virtual bool Resume(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer) = 0;
  virtual bool Accept(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer) = 0;
  // A chat or a file offered by Nick, put to the user after the line that
  // brought it; Answered runs once the user has answered.
  virtual void Offer(TConnection& Connection, const std::string& Nick, const TDccOffer& Offer,
                     std::function<void()> Answered) = 0;
};

}  // namespace tavi
