// Everything the program asks of the system outside Qt's widgets. The program
// uses the Qt implementation; tests install a fake that records and answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace tavi {

struct TDateTime {
  int Year = 2000, Month = 1, Day = 1;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  int DayOfWeek = 6;  // 1 = Monday ... 7 = Sunday
};

// A question with a button for each of Choices (captions as text).
struct TQuestion {
  std::string Title;  // the box's caption; empty: the program's title
  std::string Text;
  // Texts to compare, each under its heading, side by side under Text in a
  // fixed-width font (fingerprints); After follows them.
  std::vector<std::pair<std::string, std::string>> SideBySide;
  std::string After;
  std::vector<std::string> Choices;
};

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  // A plain modal message box; returns when dismissed. For what the user
  // did; what a server or a peer causes goes to ShowNotice.
  virtual void ShowMessage(const std::string& Text) = 0;
  // A message that does not wait: one window that shows the latest and
  // counts the ones before it, however many come. Returns at once.
  virtual void ShowNotice(const std::string& Text) = 0;
  // A warning with Yes and No; true only for Yes.
  virtual bool AskYesNo(const std::string& Text) = 0;
  // The same with Yes as the default button, for a question whose Yes is
  // the usual and safe answer.
  virtual bool AskYesNoDefaultYes(const std::string& Text) { return AskYesNo(Text); }
  // A warning that asks Question; the index of the choice taken. The last
  // choice, the cautious one, is the default, and what Esc and closing the
  // box give; -1 when the box went without an answer. Platforms that cannot
  // ask refuse.
  virtual int AskQuestion(const TQuestion& Question) {
    (void)Question;
    return -1;
  }
  // The same with a button for each of Choices under Text.
  int AskChoice(const std::string& Text, const std::vector<std::string>& Choices);
  virtual void Beep() = 0;
  // A desktop notification (a highlight, a private message); platforms
  // without a notification service show nothing.
  virtual void Notify(const std::string& Title, const std::string& Body) {
    (void)Title;
    (void)Body;
  }
  // File choices; an empty result means cancelled. Filter is "Name|*.*".
  // Paths come back in the file system's encoding (ready for open()), not
  // as text; Proposed is a name as text (UTF-8).
  virtual std::string OpenFileName(QWidget* Parent, const std::string& Filter) = 0;
  virtual std::string SaveFileName(QWidget* Parent, const std::string& Filter, const std::string& Proposed) = 0;
  // The folder a save choice starts in (file-system encoding); empty when
  // not known.
  virtual std::string SaveFolder() { return {}; }

  virtual TDateTime Now() = 0;
  // The local date and time of a moment given in milliseconds since 1970
  // (UTC), such as the time a server says a line was said.
  virtual TDateTime LocalTime(std::int64_t UtcMs);
  // Milliseconds since an arbitrary start; wraps like a 32-bit counter.
  virtual std::uint32_t TickCount() = 0;
  // The system's date formats, rendered as text.
  virtual std::string ShortDateText(const TDateTime& When) = 0;
  virtual std::string LongDateText(const TDateTime& When) = 0;
  virtual std::string WeekdayName(const TDateTime& When) = 0;

  // Opens the help file at a context number; reports a missing file itself.
  virtual void ShowHelp(const std::string& HelpFile, int Context) = 0;
  // Opens Url (encoded) in the desktop's program for it, a browser for a
  // web page; false when none took it. Platforms without a desktop refuse.
  virtual bool OpenUrl(const std::string& Url) {
    (void)Url;
    return false;
  }

  // The desktop's secret store (passwords), where one runs. ReadSecret
  // gives nothing and WriteSecret false where none does: the caller keeps
  // the secret in the settings file only the user can read.
  virtual std::optional<std::string> ReadSecret(const std::string& Key) {
    (void)Key;
    return std::nullopt;
  }
  // An empty Value removes the secret.
  virtual bool WriteSecret(const std::string& Key, const std::string& Value) {
    (void)Key;
    (void)Value;
    return false;
  }

  // The local host's IPv4 addresses as "a.b.c.d", lookup order.
  virtual std::vector<std::string> LocalIPv4Addresses() = 0;
  // Full path of the running program file, in the file system's encoding.
  virtual std::string ProgramFilePath() = 0;
};

// The platform in use: the one a test installed, else the default.
TPlatform& Platform();
// Installs P (not owned); nullptr restores the default.
void SetPlatform(TPlatform* P);
// The platform used when none is installed: the program sets the Qt one at
// start (InstallQtPlatform), so that this layer itself needs no widgets.
void SetDefaultPlatform(TPlatform* P);

// "hh:nn" of the platform's local time, the stamp in front of window lines;
// and of When.
std::string TimeStamp();
std::string TimeStamp(const TDateTime& When);

}  // namespace tavi
