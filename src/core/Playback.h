// What a bouncer plays back of the time the user was away: which received
// lines are history, and which windows are showing a block of history now.
// A line is history inside a "chathistory" or "znc.in/playback" batch,
// between ZNC's "Buffer Playback..." and "Playback Complete." for its
// window, or, a message said well before the connection registered. Also
// keeps the open batches, which carry netsplits as well.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "core/Batches.h"

namespace tavi {

struct TDateTime;
struct TMessage;

class TPlayback {
 public:
  // A message said this long before the registration is history.
  static constexpr std::int64_t EarlierMs = 120000;
  // Windows ZNC's markers can name at once.
  static constexpr std::size_t MaxMarked = 256;

  TBatches& Batches() { return batches_; }

  // The connection registered at local time Now.
  void Registered(const TDateTime& Now);
  // ZNC's markers around the playback of the window known by Key.
  void MarkStart(const std::string& Key);
  void MarkEnd(const std::string& Key);
  bool Marking() const { return !marked_.empty(); }

  // Where Line, shown in the window known by Key, is history from: a
  // batch ("batch ref"), ZNC's markers ("mark key") or its time ("time");
  // empty for a line of now.
  std::string Source(const TMessage& Line, const std::string& Key);
  // True when Line is inside a history batch.
  bool InHistoryBatch(const TMessage& Line);

  // The history blocks the windows (any pointer that names one) show:
  // Open is true when the block begins now, Close when one was open.
  bool Open(const void* Window, const std::string& Source);
  bool Close(const void* Window);
  // The windows whose block came from Source.
  std::set<const void*> From(const std::string& Source) const;
  // The windows with a block open.
  std::set<const void*> Windows() const;

  // The connection ended: batches, markers and blocks are over.
  void Reset();

 private:
  TBatches batches_;
  std::set<std::string> marked_;
  std::map<const void*, std::string> blocks_;
  bool registered_ = false;
  std::int64_t registeredMs_ = 0;  // local time, as if it were UTC
};

}  // namespace tavi
