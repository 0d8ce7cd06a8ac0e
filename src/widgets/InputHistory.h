// What was sent from one input line, for Up and Down to walk through; the
// line being typed when the walk began comes back at its end.
#pragma once

#include <QLineEdit>
#include <QString>
#include <deque>
#include <optional>

namespace tavi {

class TInputHistory {
 public:
  static constexpr std::size_t Kept = 200;

  void Add(const QString& Line) {
    if (Line.isEmpty()) return;
    if (lines_.empty() || lines_.back() != Line) lines_.push_back(Line);
    if (lines_.size() > Kept) lines_.pop_front();
    at_ = lines_.size();
  }
  // The line before; Current (what is typed) is kept when the walk begins.
  std::optional<QString> Back(const QString& Current) {
    if (at_ > lines_.size()) at_ = lines_.size();
    if (at_ == 0) return std::nullopt;
    if (at_ == lines_.size()) draft_ = Current;
    return lines_[--at_];
  }
  // The line after, or the kept one past the newest.
  std::optional<QString> Forward() {
    if (at_ >= lines_.size()) return std::nullopt;
    return ++at_ == lines_.size() ? draft_ : lines_[at_];
  }

 private:
  std::deque<QString> lines_;
  std::size_t at_ = 0;
  QString draft_;
};

// Up and Down in Edit walk History; true when Key was one of them.
inline bool WalkHistory(QLineEdit* Edit, TInputHistory& History, int Key) {
  if (Key != Qt::Key_Up && Key != Qt::Key_Down) return false;
  const std::optional<QString> line = Key == Qt::Key_Up ? History.Back(Edit->text()) : History.Forward();
  if (line) Edit->setText(*line);
  return true;
}

}  // namespace tavi
