// The appending side of a coloured log pane, one line per block. Inside a
// burst of received lines (TRichLog::TBurst) lines and trims wait until the
// burst ends and are then applied at once: lines that a trim would remove
// again are never laid out, and the pane is relaid out once per burst
// instead of once per line. Outside a burst every call acts at once. A
// burst that more will follow at once may leave its lines waiting a moment
// longer, so that a flood lays out only what the panes keep. A pane that
// cannot be seen (hidden, minimized or entirely covered) takes its lines
// without laying them out, until it is painted again.
#pragma once

#include <QColor>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <utility>
#include <vector>

class QTextDocument;
class QTextEdit;
class QWidget;

namespace tavi {

// The text of the line in a pane where unread lines begin.
QString UnreadMarkerText();
// Removes the last block of Document whose text is Text, if any.
void RemoveLastLine(QTextDocument* Document, const QString& Text);

class TRichLog : public QObject {
  Q_OBJECT
 public:
  // Becomes a child of Edit, where Of() finds it.
  explicit TRichLog(QTextEdit* Edit);
  static TRichLog* Of(QTextEdit* Edit);

  void Append(const QString& Text, const QColor& Color);
  // Removes lines from the top until at most Lines remain.
  void KeepLast(int Lines);
  // Applies what waits; readers of the pane call this first.
  void Flush();
  // Appends the one marker line of the pane, taking the last one out.
  void AppendMarker(const QString& Text, const QColor& Color);

  // Counts nested bursts; the last end flushes every waiting log. With
  // MoreFollow, when the logs were flushed less than FlushIntervalMs ago,
  // they wait for a later end or for a timer instead.
  static void BeginBurst();
  static void EndBurst(bool MoreFollow = false);
  static bool InBurst();
  static constexpr int FlushIntervalMs = 100;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  static constexpr std::size_t HoldFromLines = 32;
  bool CanBeSeen() const;
  // Stops or resumes laying out the pane's text.
  void HoldLayout(bool Hold);
  static void FlushWaiting();
  void AppendNow(const QString& Text, const QColor& Color);
  int LinesInPane() const;

  QTextEdit* edit_;
  QWidget* viewport_;  // edit_'s, watched for paints
  std::vector<std::pair<QString, QColor>> pending_;
  // The first line of pane + pending that the waiting trims keep.
  int firstKept_ = 0;
  bool queued_ = false;
  // The page size the pane laid its text out to before it was held.
  QSizeF shownPageSize_;
};

}  // namespace tavi
