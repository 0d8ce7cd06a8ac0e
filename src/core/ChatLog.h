// Logs of the channel and talk windows: one UTF-8 text file per window per
// day, <folder>/<server>/<window>_<yyyy-mm-dd>.log, each line as the window
// shows it. Appending only queues the line; a thread of its own writes, so
// the GUI never waits on the disk, and the end of the log writes what is left.
#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace tavi {

struct TDateTime;

class TChatLog {
 public:
  explicit TChatLog(QString Folder);
  // Writes every line still queued, then ends.
  ~TChatLog();
  TChatLog(const TChatLog&) = delete;
  TChatLog& operator=(const TChatLog&) = delete;

  void Append(const QString& Server, const QString& Window, const TDateTime& When, const QString& Line);
  // Returns once every line appended so far is in its file.
  void Flush();

  // The file of a window's lines on a day.
  QString FilePath(const QString& Server, const QString& Window, const TDateTime& When) const;
  // The logs' folder: ~/.local/share/Tavi/logs.
  static QString DefaultFolder();

 private:
  // The path is made by the writer: the GUI thread only queues.
  struct TEntry {
    QString Server, Window;
    int Year, Month, Day;
    QString Line;
  };
  void Run();

  // How long the writer gathers lines after the first of a batch, so that a
  // flood goes out in a few opens and writes instead of one per line.
  static constexpr int GatherMs = 50;

  const QString folder_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TEntry> queue_;
  bool writing_ = false;
  int flushing_ = 0;  // callers of Flush waiting: no gathering then
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace tavi
