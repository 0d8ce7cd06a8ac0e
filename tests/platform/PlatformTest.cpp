#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <climits>
#include <thread>

#include "FakePlatform.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "platform/FileFolder.h"
#include "platform/QtPlatform.h"

namespace tavi {
namespace {

// The Qt platform with its message box replaced, so that what it reports
// can be read without a modal box.
class TRecordingQtPlatform : public TQtPlatform {
 public:
  std::vector<std::string> Messages;
  std::vector<std::string> Urls;
  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
  bool OpenUrl(const std::string& Url) override {
    Urls.push_back(Url);
    return true;
  }
};

TEST(PlatformAccess, InstalledPlatformServesUntilRemoved) {
  TPlatform& Qt = Platform();
  EXPECT_NE(dynamic_cast<TQtPlatform*>(&Qt), nullptr);

  test::TFakePlatform Fake;
  SetPlatform(&Fake);
  EXPECT_EQ(&Platform(), &Fake);
  Platform().ShowMessage("x");
  Platform().Beep();
  SetPlatform(nullptr);
  EXPECT_EQ(&Platform(), &Qt);
  EXPECT_EQ(Fake.Messages, std::vector<std::string>{"x"});
  EXPECT_EQ(Fake.Beeps, 1);
}

TEST(PlatformAccess, TimeStampIsTwoDigitHourAndMinuteOfThePlatformClock) {
  test::TFakePlatform Fake;
  SetPlatform(&Fake);
  Fake.Time.Hour = 9;
  Fake.Time.Minute = 5;
  EXPECT_EQ(TimeStamp(), "09:05");
  Fake.Time.Hour = 0;
  Fake.Time.Minute = 0;
  EXPECT_EQ(TimeStamp(), "00:00");
  Fake.Time.Hour = 23;
  Fake.Time.Minute = 59;
  EXPECT_EQ(TimeStamp(), "23:59");
  SetPlatform(nullptr);
}

// Run from the build tree, help finds the source tree's guide and opens it
// at the context's mark; a missing page is reported with where it was
// looked for.
// The file dialogs start in the download folder (made when missing), then
// where the last file was chosen while that folder is there.
TEST(FileFolders, DownloadsFirstThenTheLastFolderUsed) {
  const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  QDir(downloads).removeRecursively();
  QTemporaryDir elsewhere;
  const QString gone = elsewhere.path() + QStringLiteral("/gone");
  QDir().mkpath(gone);
  const std::pair<QString, QString> steps[] = {
      {QString(), downloads},                                    // first time: made and used
      {elsewhere.path() + QStringLiteral("/a.txt"), elsewhere.path()},
      {QString(), elsewhere.path()},                             // cancelled: no change
      {gone + QStringLiteral("/b.txt"), gone},
  };
  for (const auto& [chosen, start] : steps) {
    FileChosenIn(chosen);
    EXPECT_EQ(FileDialogFolder(), start) << chosen.toStdString();
    EXPECT_TRUE(QFileInfo(start).isDir());
  }
  QDir(gone).removeRecursively();
  EXPECT_EQ(FileDialogFolder(), downloads);
  EXPECT_NE(FileDialogFolder(), QCoreApplication::applicationDirPath());
}

TEST(QtPlatform, HelpOpensTheGuideOrSaysWhereItLooked) {
  TRecordingQtPlatform P;
  P.ShowHelp("guide/index.html", 35);
  ASSERT_EQ(P.Urls.size(), 1u);
  const QUrl Opened(QString::fromStdString(P.Urls[0]));
  EXPECT_TRUE(QFileInfo(Opened.toLocalFile()).isFile()) << P.Urls[0];
  EXPECT_EQ(Opened.fragment(), QStringLiteral("help-35"));
  EXPECT_TRUE(P.Messages.empty());

  P.ShowHelp("NO_SUCH_HELP_FILE.HLP", 2);
  EXPECT_EQ(P.Urls.size(), 1u);
  ASSERT_EQ(P.Messages.size(), 1u);
  EXPECT_NE(P.Messages[0].find("NO_SUCH_HELP_FILE.HLP"), std::string::npos);
  const QString Folder = QCoreApplication::applicationDirPath();
  for (const QString& Place : HelpFilePlaces(Folder, QStringLiteral("NO_SUCH_HELP_FILE.HLP")))
    EXPECT_NE(P.Messages[0].find(StdText(Place)), std::string::npos) << StdText(Place);

  // Installed, the guide is where install puts it beside the program's folder.
  EXPECT_EQ(HelpFilePlaces(QStringLiteral("/opt/tavi/bin"), QStringLiteral("guide/index.html")).front(),
            QStringLiteral("/opt/tavi/share/doc/tavi/guide/index.html"));
}

// Enter in a question of several choices takes the last, cautious one.
TEST(QtPlatform, AChoicesDefaultIsTheLastChoice) {
  TQtPlatform P;
  std::string defaultText;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->defaultButton()) return;
    defaultText = box->defaultButton()->text().toStdString();
    box->defaultButton()->click();
  });
  EXPECT_EQ(P.AskChoice("?", {"once", "always", "refuse"}), 2);
  EXPECT_EQ(defaultText, "refuse");
}

TEST(QtPlatform, FileFiltersBecomeQtNameFilters) {
  // "*.*" stands for every file, also those without an extension.
  EXPECT_EQ(QtFileFilter("All|*.*"), QStringLiteral("All (*)"));
  EXPECT_EQ(QtFileFilter("Text|*.txt;*.log|All|*.*"), QStringLiteral("Text (*.txt *.log);;All (*)"));
  EXPECT_EQ(QtFileFilter(U8(u8"すべてのファイル ( *.* )|*.*")), QStringLiteral(u"すべてのファイル ( *.* ) (*)"));
  EXPECT_EQ(QtFileFilter(""), QString());
}

TEST(QtPlatform, ProgramPathIsTheRunningFile) {
  char Path[PATH_MAX + 1] = {};
  const ssize_t N = ::readlink("/proc/self/exe", Path, PATH_MAX);
  ASSERT_GT(N, 0);
  TQtPlatform P;
  EXPECT_EQ(P.ProgramFilePath(), std::string(Path, static_cast<std::size_t>(N)));
}

TEST(QtPlatform, LocalAddressesAreDistinctDottedQuads) {
  TQtPlatform P;
  const std::vector<std::string> Addresses = P.LocalIPv4Addresses();
  for (std::size_t I = 0; I < Addresses.size(); ++I) {
    in_addr Parsed{};
    EXPECT_EQ(::inet_pton(AF_INET, Addresses[I].c_str(), &Parsed), 1) << Addresses[I];
    for (std::size_t J = 0; J < I; ++J) EXPECT_NE(Addresses[I], Addresses[J]);
  }
}

TEST(QtPlatform, ClockFollowsTheSystem) {
  TQtPlatform P;
  const QDateTime Before = QDateTime::currentDateTime();
  const TDateTime Now = P.Now();
  const QDateTime After = QDateTime::currentDateTime();
  const QDateTime Got(QDate(Now.Year, Now.Month, Now.Day), QTime(Now.Hour, Now.Minute, Now.Second, Now.Millisecond));
  EXPECT_LE(Before, Got);
  EXPECT_LE(Got, After);
  EXPECT_EQ(Now.DayOfWeek, Got.date().dayOfWeek());

  const std::uint32_t T0 = P.TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::uint32_t Elapsed = P.TickCount() - T0;
  EXPECT_GE(Elapsed, 25u);
  EXPECT_LT(Elapsed, 5000u);
}

TEST(QtPlatform, DatesAreJapaneseWhateverTheSystemLocale) {
  TQtPlatform P;
  const QLocale Before;
  for (const QLocale& System : {QLocale(QLocale::English, QLocale::UnitedKingdom), QLocale(QLocale::German)}) {
    QLocale::setDefault(System);
    const TDateTime A{2026, 12, 8, 0, 0, 0, 0, 2};
    const TDateTime B{2006, 1, 1, 0, 0, 0, 0, 7};
    EXPECT_EQ(P.ShortDateText(A), "2026/12/08");
    EXPECT_EQ(P.ShortDateText(B), "2006/01/01");
    EXPECT_EQ(P.LongDateText(A), U8(u8"2026年12月8日"));
    EXPECT_EQ(P.WeekdayName(A), U8(u8"火曜日"));
    EXPECT_EQ(P.WeekdayName(B), U8(u8"日曜日"));
  }
  QLocale::setDefault(Before);
}

TEST(QtPlatform, TheProgramsTextsAreJapaneseAndItsCaptionsItsOwn) {
  ASSERT_TRUE(InstallJapaneseQtTranslation(*QCoreApplication::instance()));
  ConfigureApplication(*qApp);
  // Qt appends a display name, when one is set, to every window's caption.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  EXPECT_EQ(ApplicationTitle(), QStringLiteral("Tavi"));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral(u"キャンセル"));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral(u"アドレス:"));
}

}  // namespace
}  // namespace tavi
