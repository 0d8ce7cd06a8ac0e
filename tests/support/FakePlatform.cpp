#include "FakePlatform.h"

#include <QDateTime>
#include <cstdio>

#include "kanji/QtText.h"

namespace tavi::test {

namespace {

template <class T>
T TakeFront(std::deque<T>& Queue, T Default) {
  if (Queue.empty()) return Default;
  T Front = std::move(Queue.front());
  Queue.pop_front();
  return Front;
}

}  // namespace

void TFakePlatform::ShowMessage(const std::string& Text) {
  std::lock_guard Lock(mutex_);
  Messages.push_back(Text);
}

void TFakePlatform::ShowNotice(const std::string& Text) {
  std::lock_guard Lock(mutex_);
  Notices.push_back(Text);
}

bool TFakePlatform::AskYesNo(const std::string& Text) {
  {
    std::lock_guard Lock(mutex_);
    Questions.push_back(Text);
  }
  // A copy: the hook may clear itself.
  if (const std::function<void()> hook = WhileAsking) hook();
  std::lock_guard Lock(mutex_);
  return TakeFront(YesNoAnswers, false);
}

bool TFakePlatform::AskYesNoDefaultYes(const std::string& Text) {
  {
    std::lock_guard Lock(mutex_);
    YesDefaultQuestions.push_back(Text);
  }
  return AskYesNo(Text);
}

int TFakePlatform::AskQuestion(const TQuestion& Question) {
  {
    std::lock_guard Lock(mutex_);
    // Every text the box shows, one after another.
    std::string text = Question.Text;
    for (const auto& [heading, side] : Question.SideBySide) text += "\r\n" + heading + "\r\n" + side;
    if (!Question.After.empty()) text += "\r\n" + Question.After;
    Questions.push_back(text);
    ChoiceLists.push_back(Question.Choices);
    Asked.push_back(Question);
  }
  if (const std::function<void()> hook = WhileAsking) hook();
  std::lock_guard Lock(mutex_);
  return TakeFront(ChoiceAnswers, -1);
}

void TFakePlatform::Notify(const std::string& Title, const std::string& Body) {
  Notifications.push_back(Title + "|" + Body);
  if (NotifyThrough) NotifyThrough(Title, Body);
}

void TFakePlatform::Beep() {
  std::lock_guard Lock(mutex_);
  ++Beeps;
}

std::string TFakePlatform::OpenFileName(QWidget*, const std::string& Filter) {
  std::lock_guard Lock(mutex_);
  OpenFilters.push_back(Filter);
  return TakeFront(OpenFileAnswers, std::string());
}

std::string TFakePlatform::SaveFileName(QWidget*, const std::string& Filter, const std::string& Proposed) {
  std::lock_guard Lock(mutex_);
  SaveFilters.push_back(Filter);
  SaveProposals.push_back(Proposed);
  return TakeFront(SaveFileAnswers, std::string());
}

TDateTime TFakePlatform::Now() {
  std::lock_guard Lock(mutex_);
  return Time;
}

TDateTime TFakePlatform::LocalTime(std::int64_t UtcMs) {
  const QDateTime when = QDateTime::fromMSecsSinceEpoch(UtcMs, Qt::UTC);
  return TDateTime{when.date().year(), when.date().month(), when.date().day(), when.time().hour(),
                   when.time().minute(), when.time().second(), when.time().msec(), when.date().dayOfWeek()};
}

std::uint32_t TFakePlatform::TickCount() {
  std::lock_guard Lock(mutex_);
  return Tick;
}

std::string TFakePlatform::ShortDateText(const TDateTime& When) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%04d/%02d/%02d", When.Year, When.Month, When.Day);
  return Text;
}

std::string TFakePlatform::LongDateText(const TDateTime& When) {
  return std::to_string(When.Year) + U8(u8"年") + std::to_string(When.Month) + U8(u8"月") +
         std::to_string(When.Day) + U8(u8"日");
}

std::string TFakePlatform::WeekdayName(const TDateTime& When) {
  static const char8_t* const Names[] = {u8"月曜日", u8"火曜日", u8"水曜日", u8"木曜日",
                                         u8"金曜日", u8"土曜日", u8"日曜日"};
  const int I = When.DayOfWeek >= 1 && When.DayOfWeek <= 7 ? When.DayOfWeek - 1 : 0;
  return U8(Names[I]);
}

void TFakePlatform::ShowHelp(const std::string& HelpFile, int Context) {
  std::lock_guard Lock(mutex_);
  HelpCalls.push_back({HelpFile, Context});
}

bool TFakePlatform::OpenUrl(const std::string& Url) {
  std::lock_guard Lock(mutex_);
  OpenedUrls.push_back(Url);
  return !OpenUrlRefused;
}

std::optional<std::string> TFakePlatform::ReadSecret(const std::string& Key) {
  std::lock_guard Lock(mutex_);
  if (!HasSecretStore) return std::nullopt;
  const auto found = Secrets.find(Key);
  return found == Secrets.end() ? std::string() : found->second;
}

bool TFakePlatform::WriteSecret(const std::string& Key, const std::string& Value) {
  std::lock_guard Lock(mutex_);
  if (!HasSecretStore) return false;
  if (Value.empty())
    Secrets.erase(Key);
  else
    Secrets[Key] = Value;
  return true;
}

std::vector<std::string> TFakePlatform::LocalIPv4Addresses() {
  std::lock_guard Lock(mutex_);
  return Addresses;
}

std::string TFakePlatform::ProgramFilePath() {
  std::lock_guard Lock(mutex_);
  return ProgramPath;
}

void TFakePlatform::Reset() {
  std::lock_guard Lock(mutex_);
  YesNoAnswers.clear();
  ChoiceAnswers.clear();
  ChoiceLists.clear();
  Asked.clear();
  OpenFileAnswers.clear();
  SaveFileAnswers.clear();
  Messages.clear();
  Notices.clear();
  Questions.clear();
  YesDefaultQuestions.clear();
  OpenFilters.clear();
  SaveFilters.clear();
  SaveProposals.clear();
  DialogFolder.clear();
  HelpCalls.clear();
  Notifications.clear();
  OpenedUrls.clear();
  OpenUrlRefused = false;
  Beeps = 0;
  HasSecretStore = false;
  Secrets.clear();
}

}  // namespace tavi::test
