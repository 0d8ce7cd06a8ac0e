// The platform the program runs on: Qt's dialogs and the system clock.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "platform/Platform.h"

class QMessageBox;

namespace tavi {

class TQtPlatform : public TPlatform {
 public:
  void ShowMessage(const std::string& Text) override;
  void ShowNotice(const std::string& Text) override;
  bool AskYesNo(const std::string& Text) override;
  bool AskYesNoDefaultYes(const std::string& Text) override;
  int AskQuestion(const TQuestion& Question) override;
  void Beep() override;
  void Notify(const std::string& Title, const std::string& Body) override;
  std::string OpenFileName(QWidget* Parent, const std::string& Filter) override;
  std::string SaveFileName(QWidget* Parent, const std::string& Filter, const std::string& Proposed) override;
  std::string SaveFolder() override;

  TDateTime Now() override;
  std::uint32_t TickCount() override;
  std::string ShortDateText(const TDateTime& When) override;
  std::string LongDateText(const TDateTime& When) override;
  std::string WeekdayName(const TDateTime& When) override;

  // Opens the guide's page HelpFile in the browser, at the place marked
  // for Context ("#help-<Context>").
  void ShowHelp(const std::string& HelpFile, int Context) override;
  bool OpenUrl(const std::string& Url) override;

  std::optional<std::string> ReadSecret(const std::string& Key) override;
  bool WriteSecret(const std::string& Key, const std::string& Value) override;
  std::vector<std::string> LocalIPv4Addresses() override;
  std::string ProgramFilePath() override;

  // The notice window while it is shown, and the notices it has taken.
  QWidget* NoticeWindow() const;
  int NoticeCount() const { return noticeCount_; }

 private:
  QPointer<QMessageBox> notice_;
  int noticeCount_ = 0;
  QString noticeText_;
  bool noticePending_ = false;
};

// The window a modal box is shown over: the active window, unless that one
// may free itself while the box is open (a dialog that closes when it loses
// the activation to the box, a transfer window that ends); then the window
// it belongs to, in the end the main window.
QWidget* StableDialogParent();

// Where a page of the guide (HelpFile, such as "guide/index.html") is looked
// for, in order: where install puts the documents, relative to the program's
// folder ProgramFolder; then the source tree's docs folder, for a program run
// from its build tree.
QStringList HelpFilePlaces(const QString& ProgramFolder, const QString& HelpFile);

// Makes one Qt platform the default for the rest of the program's life.
void InstallQtPlatform();

// The program's title, the caption of its message boxes. Qt's own display
// name is left alone: Qt would append it to every window's caption.
void SetApplicationTitle(const QString& Title);
QString ApplicationTitle();

// The program's names and texts on App: application and organisation name
// "Tavi" (they place the settings in ~/.config/Tavi/), the desktop entry,
// the message box title, Qt's Japanese texts. No display name: Qt would
// append it to every caption.
void ConfigureApplication(QApplication& App);

// Loads Qt's own Japanese texts (standard buttons, file dialogs) into App;
// false when the translation is not installed.
bool InstallJapaneseQtTranslation(QCoreApplication& App);

// "Text|*.txt;*.log|All|*.*" as a Qt name filter "Text (*.txt *.log);;All (*.*)".
QString QtFileFilter(const std::string& Filter);

}  // namespace tavi
