// A platform for tests: records what the program shows and answers its
// questions from queues, so that no test ever waits on a modal box.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tavi::test {

class TFakePlatform : public TPlatform {
 public:
  struct THelpCall {
    std::string File;
    int Context = 0;
  };

  void ShowMessage(const std::string& Text) override;
  void ShowNotice(const std::string& Text) override;
  bool AskYesNo(const std::string& Text) override;  // No when the queue is empty
  // Recorded in YesDefaultQuestions as well, and answered as AskYesNo.
  bool AskYesNoDefaultYes(const std::string& Text) override;
  // Records the question with its choices; answers from ChoiceAnswers
  // (-1, the box closed, when empty).
  int AskQuestion(const TQuestion& Question) override;
  void Beep() override;
  void Notify(const std::string& Title, const std::string& Body) override;
  std::string OpenFileName(QWidget* Parent, const std::string& Filter) override;
  std::string SaveFileName(QWidget* Parent, const std::string& Filter, const std::string& Proposed) override;
  std::string SaveFolder() override { return DialogFolder; }

  TDateTime Now() override;
  // Moments are read as if local time were UTC, whatever the machine's.
  TDateTime LocalTime(std::int64_t UtcMs) override;
  std::uint32_t TickCount() override;
  std::string ShortDateText(const TDateTime& When) override;
  std::string LongDateText(const TDateTime& When) override;
  std::string WeekdayName(const TDateTime& When) override;

  void ShowHelp(const std::string& HelpFile, int Context) override;
  // Records the address; true unless OpenUrlRefused.
  bool OpenUrl(const std::string& Url) override;

  // A secret store while HasSecretStore; none otherwise.
  std::optional<std::string> ReadSecret(const std::string& Key) override;
  bool WriteSecret(const std::string& Key, const std::string& Value) override;

  std::vector<std::string> LocalIPv4Addresses() override;
  std::string ProgramFilePath() override;

  // Runs inside AskYesNo before it answers, as a modal box's own event loop
  // would run whatever arrives meanwhile.
  std::function<void()> WhileAsking;

  // Answers, taken front first.
  std::deque<bool> YesNoAnswers;
  std::deque<int> ChoiceAnswers;
  std::deque<std::string> OpenFileAnswers;  // empty queue: cancelled
  std::deque<std::string> SaveFileAnswers;

  // What was shown or asked, in order.
  std::vector<std::string> Messages;
  std::vector<std::string> Notices;
  std::vector<std::string> Questions;
  std::vector<std::string> YesDefaultQuestions;  // those of them with Yes the default
  std::vector<std::vector<std::string>> ChoiceLists;  // one per AskQuestion
  std::vector<TQuestion> Asked;                        // the same, whole
  std::vector<std::string> OpenFilters;
  std::vector<std::string> SaveFilters;
  std::vector<std::string> SaveProposals;
  std::string DialogFolder;  // where save choices start; empty: not known
  std::vector<THelpCall> HelpCalls;
  std::vector<std::string> Notifications;  // "title|body"
  // Set, notifications go on to it as well (the real desktop service).
  std::function<void(const std::string&, const std::string&)> NotifyThrough;
  std::vector<std::string> OpenedUrls;
  bool OpenUrlRefused = false;
  int Beeps = 0;
  bool HasSecretStore = false;
  std::map<std::string, std::string> Secrets;

  // The clock: fixed unless a test moves it.
  TDateTime Time{2006, 1, 2, 9, 5, 7, 0, 1};  // Monday 2006-01-02 09:05:07
  std::uint32_t Tick = 1000;
  // Dates render as "yyyy/mm/dd", "yyyy年m月d日" and the Japanese weekday.

  std::vector<std::string> Addresses{"192.168.1.10"};
  std::string ProgramPath = "/opt/tavi/Tavi.exe";

  void Reset();

 private:
  std::mutex mutex_;  // the receive thread may report while a test reads
};

}  // namespace tavi::test
