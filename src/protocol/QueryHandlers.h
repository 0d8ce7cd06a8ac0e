// What the query reply handlers keep between the replies of one answer.
#pragma once

#include <string>

namespace tavi {

struct TQueryReplyState {
  bool WhoIsReplyPending = false;   // a WHOIS reply wrote since the last 318
  bool WhoWasReplyPending = false;  // a 314 wrote since the last 369
  std::string AdminLine1;           // 256, 257 and 258, kept for 259
  std::string AdminLine2;
  std::string AdminLine3;
};

TQueryReplyState& QueryReplyState();
// Back to the state of a fresh start.
void ResetQueryReplyState();

}  // namespace tavi
