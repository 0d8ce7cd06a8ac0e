// A session with its connection on the fake platform, the lines it sends
// caught, and every signal of the connection written down as one line of
// text, so that a test reads as a transcript: lines in, events and sent
// lines out.
#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "core/Connection.h"
#include "core/DccDesk.h"
#include "core/Session.h"
#include "kanji/QtText.h"

namespace tavi::test {

using Lines = std::vector<std::string>;

// The events that start with Prefix.
Lines Of(const Lines& Events, const std::string& Prefix);

// Renders the connection's signals:
//   "#c own 09:05 ..."    a channel line (talk, own or event)
//   "query(bob) 09:05 ..." a query line
//   "log 09:05 ..."       a server log line
//   "channel+ #c quietly", "query~ a,b speakers=a", "whois Nick=alice", ...
// The date line each new window begins with is left out unless asked for.
class TEventRecorder : public QObject {
 public:
  explicit TEventRecorder(TConnection& Connection);
  Lines Events;
  bool KeepDateLines = false;
  std::string TrustText;  // the last certificate question

 private:
  void Add(std::string Event) { Events.push_back(std::move(Event)); }
};

// Takes DCC offers as the transfer windows would, and writes them down.
class TFakeDccDesk : public TDccDesk {
 public:
  bool Resume(TConnection&, const std::string& Nick, const TDccOffer& Offer) override;
  bool Accept(TConnection&, const std::string& Nick, const TDccOffer& Offer) override;
  void Offer(TConnection&, const std::string& Nick, const TDccOffer& Offer, std::function<void()> Answered) override;

  Lines Calls;
  bool TakesAnswers = true;      // one of our transfers takes RESUME / ACCEPT
  std::function<void()> Answer;  // the open question's end
};

class CoreFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  TConnection& Connection() { return session->Connection(); }
  // One received line; the CR LF is added.
  void Feed(const std::string& Line) { Connection().ReceiveLine(Line + "\r\n"); }
  // The events and sent lines so far, which are then forgotten.
  Lines Take();
  Lines TakeSent();
  // The user's own join, with what it sent and showed forgotten.
  TChannel& Joined(const std::string& Name);
  // A joined channel whose members are Names (one whole names reply).
  TChannel& Channel(const std::string& Name, const std::string& Names);
  TQuery& Query(const std::string& Caption, const Lines& Speakers = {});
  // "me @bob carol"
  std::string Members(const std::string& Channel) const;

  TFakePlatform platform;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TEventRecorder> recorder;
  TFakeDccDesk desk;
  Lines Sent;
};

}  // namespace tavi::test
