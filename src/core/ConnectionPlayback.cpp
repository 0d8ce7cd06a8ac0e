// A bouncer's history as the windows show it: which lines are replayed, and
// the marks around each window's block of them.
#include "core/Connection.h"
#include "kanji/QtText.h"
#include "protocol/Message.h"

namespace tavi {

std::string TConnection::PlaybackKey(const std::string& WireTarget) const {
  if (SameName(WireTarget, Own.CurrentNick, caseMapping_) || !FindChannel(WireTarget)) return {};
  return NameKey(WireTarget, caseMapping_);
}

bool TConnection::Replayed(const std::string& WireTarget) {
  return current_ && !playback_.Source(*current_, PlaybackKey(WireTarget)).empty();
}

void TConnection::ShowBlockMark(const void* Window, bool Begins) {
  TShownLine line;
  line.Kind = TLineKind::Event;
  line.Text = QText(Begins ? U8(u8"――― 履歴 ―――") : U8(u8"――― ここまで履歴 ―――"));
  QString logWindow;
  for (const auto& channel : channels_)
    if (channel.get() == Window) line.Channel = channel.get(), logWindow = channel->Title();
  for (const auto& query : queries_)
    if (query.get() == Window) line.Query = query.get(), logWindow = QText(query->Caption);
  if (!line.Channel && !line.Query) return;
  LogLine(logWindow, line.Text);
  emit LineShown(line);
}

void TConnection::EndHistory(const std::string& Source) {
  for (const void* window : Source.empty() ? playback_.Windows() : playback_.From(Source))
    if (playback_.Close(window)) ShowBlockMark(window, false);
}

void TConnection::Present(TShownLine& Line, const void* Window, const QString& LogWindow, bool FromServer) {
  // ZNC's markers name windows by their keys: a channel's folded name, ""
  // for private lines.
  const std::string key =
      Line.Channel && playback_.Marking() ? NameKey(Line.Channel->WireName(), caseMapping_) : std::string();
  const std::string source = FromServer && current_ ? playback_.Source(*current_, key) : std::string();
  if (!source.empty()) {
    if (playback_.Open(Window, source)) ShowBlockMark(Window, true);
    // Said while the user was away: no highlight, nothing unread.
    Line.Highlight = false;
    Line.Sender.clear();
  } else if (playback_.Close(Window)) {
    ShowBlockMark(Window, false);
  }
  LogLine(LogWindow, Line.Text);
  emit LineShown(Line);
}

}  // namespace tavi
