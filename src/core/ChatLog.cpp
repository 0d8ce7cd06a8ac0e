#include "core/ChatLog.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStandardPaths>
#include <chrono>
#include <utility>
#include <vector>

#include "core/DesktopSettings.h"

#include "platform/Platform.h"

namespace tavi {

namespace {

// A window or server name as one file name: no folder separators, no
// hidden files, never empty.
QString FilePart(QString Name) {
  Name.replace(QLatin1Char('/'), QLatin1Char('_'));
  Name.replace(QChar(0), QLatin1Char('_'));
  if (Name.isEmpty() || Name.startsWith(QLatin1Char('.'))) Name.prepend(QLatin1Char('_'));
  return Name;
}

}  // namespace

TChatLog::TChatLog(QString Folder) : folder_(std::move(Folder)) { thread_ = std::thread([this] { Run(); }); }

TChatLog::~TChatLog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

QString TChatLog::DefaultFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Tavi/logs");
}

QString TChatLog::FilePath(const QString& Server, const QString& Window, const TDateTime& When) const {
  const QString date = QStringLiteral("%1-%2-%3")
                           .arg(When.Year, 4, 10, QLatin1Char('0'))
                           .arg(When.Month, 2, 10, QLatin1Char('0'))
                           .arg(When.Day, 2, 10, QLatin1Char('0'));
  return folder_ + QLatin1Char('/') + FilePart(Server) + QLatin1Char('/') + FilePart(Window) + QLatin1Char('_') + date +
         QStringLiteral(".log");
}

void TChatLog::Append(const QString& Server, const QString& Window, const TDateTime& When, const QString& Line) {
  TEntry entry{Server, Window, When.Year, When.Month, When.Day, Line};
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    first = queue_.empty();
    queue_.push_back(std::move(entry));
  }
  // Only the first line of a batch wakes the writer; it gathers the rest.
  if (first) changed_.notify_all();
}

void TChatLog::Flush() {
  std::unique_lock lock(mutex_);
  ++flushing_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return queue_.empty() && !writing_; });
  --flushing_;
}

void TChatLog::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, and everything is written
    changed_.wait_for(lock, std::chrono::milliseconds(GatherMs), [this] { return stop_ || flushing_ > 0; });
    std::deque<TEntry> batch;
    batch.swap(queue_);
    writing_ = true;
    lock.unlock();
    // One open per file and batch: a flood's lines go out in few writes.
    // Grouped in one pass, in the order the files first appear.
    std::vector<std::pair<QString, QByteArray>> files;
    QHash<QString, std::size_t> slot;
    TDateTime when;
    for (const TEntry& entry : batch) {
      when.Year = entry.Year, when.Month = entry.Month, when.Day = entry.Day;
      const QString path = FilePath(entry.Server, entry.Window, when);
      auto it = slot.find(path);
      if (it == slot.end()) {
        it = slot.insert(path, files.size());
        files.emplace_back(path, QByteArray());
      }
      QByteArray& bytes = files[*it].second;
      bytes += entry.Line.toUtf8();
      bytes += '\n';
    }
    for (const auto& [path, bytes] : files) {
      MakePrivateFolder(path.left(path.lastIndexOf(QLatin1Char('/'))));
      QFile file(path);
      if (file.open(QIODevice::WriteOnly | QIODevice::Append)) file.write(bytes);
    }
    lock.lock();
    writing_ = false;
    changed_.notify_all();
  }
}

}  // namespace tavi
