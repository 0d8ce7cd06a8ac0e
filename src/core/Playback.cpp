#include "core/Playback.h"

#include <QDate>

#include "platform/Platform.h"
#include "protocol/Message.h"

namespace tavi {

namespace {

// The batches a bouncer's history comes in.
TBatch* HistoryBatch(TBatches& Batches, const TMessage& Line) {
  const std::string* ref = Line.Tag("batch");
  return ref ? Batches.Within(*ref, {"chathistory", "znc.in/playback"}) : nullptr;
}

// A local date and time as milliseconds, counted as if it were UTC: two such
// numbers compare as the moments do.
std::int64_t LocalMs(const TDateTime& When) {
  const QDate date(When.Year, When.Month, When.Day);
  if (!date.isValid()) return 0;
  const std::int64_t days = date.toJulianDay();
  return ((days * 24 + When.Hour) * 60 + When.Minute) * 60000 + When.Second * 1000 + When.Millisecond;
}

}  // namespace

void TPlayback::Registered(const TDateTime& Now) {
  registered_ = true;
  registeredMs_ = LocalMs(Now);
}

void TPlayback::MarkStart(const std::string& Key) {
  if (marked_.size() < MaxMarked) marked_.insert(Key);
}

void TPlayback::MarkEnd(const std::string& Key) { marked_.erase(Key); }

bool TPlayback::InHistoryBatch(const TMessage& Line) { return HistoryBatch(batches_, Line) != nullptr; }

std::string TPlayback::Source(const TMessage& Line, const std::string& Key) {
  if (const TBatch* batch = HistoryBatch(batches_, Line)) return "batch " + batch->Ref;
  if (marked_.contains(Key)) return "mark " + Key;
  // Only talk: a server whose clock is behind must not make joins and
  // parts history, which would leave the model as it was.
  const bool talk = Line.Command == "PRIVMSG" || Line.Command == "NOTICE";
  if (talk && registered_ && Line.ServerTimeMs >= 0 &&
      LocalMs(Platform().LocalTime(Line.ServerTimeMs)) < registeredMs_ - EarlierMs)
    return "time";
  return {};
}

bool TPlayback::Open(const void* Window, const std::string& Source) {
  const auto [it, opened] = blocks_.try_emplace(Window, Source);
  // A block goes on when more history comes from elsewhere; it ends with
  // the latest.
  if (!opened) it->second = Source;
  return opened;
}

bool TPlayback::Close(const void* Window) { return blocks_.erase(Window) > 0; }

std::set<const void*> TPlayback::From(const std::string& Source) const {
  std::set<const void*> windows;
  for (const auto& [window, source] : blocks_)
    if (source == Source) windows.insert(window);
  return windows;
}

std::set<const void*> TPlayback::Windows() const {
  std::set<const void*> windows;
  for (const auto& entry : blocks_) windows.insert(entry.first);
  return windows;
}

void TPlayback::Reset() {
  batches_.Clear();
  marked_.clear();
  blocks_.clear();
  registered_ = false;
}

}  // namespace tavi
