#include "platform/Platform.h"

#include <QDateTime>
#include <atomic>
#include <cstdio>
#include <cstdlib>


namespace tavi {

namespace {

std::atomic<TPlatform*> Installed{nullptr};
std::atomic<TPlatform*> Default{nullptr};

}  // namespace

TPlatform& Platform() {
  TPlatform* P = Installed.load(std::memory_order_acquire);
  if (!P) P = Default.load(std::memory_order_acquire);
  if (!P) {
    // A program that asks the system for anything must have chosen how.
    std::fputs("tavi: no platform set\n", stderr);
    std::abort();
  }
  return *P;
}

void SetPlatform(TPlatform* P) { Installed.store(P, std::memory_order_release); }

void SetDefaultPlatform(TPlatform* P) { Default.store(P, std::memory_order_release); }

int TPlatform::AskChoice(const std::string& Text, const std::vector<std::string>& Choices) {
  TQuestion question;
  question.Text = Text;
  question.Choices = Choices;
  return AskQuestion(question);
}

TDateTime TPlatform::LocalTime(std::int64_t UtcMs) {
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(UtcMs, Qt::UTC).toLocalTime();
  const QDate d = local.date();
  const QTime t = local.time();
  return TDateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec(), d.dayOfWeek()};
}

std::string TimeStamp(const TDateTime& When) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "%02d:%02d", When.Hour, When.Minute);
  return Text;
}

std::string TimeStamp() { return TimeStamp(Platform().Now()); }

}  // namespace tavi
