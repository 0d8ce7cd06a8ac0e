#include "frame/About.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <filesystem>
#include <vector>

#include "MainFormFixture.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

class AboutTest : public test::MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    MakeForm();
  }

  std::string Path(const char* Name) const { return folder.filePath(QString::fromLatin1(Name)).toStdString(); }
  // A program file called Name in the test folder, a copy of Source.
  std::string Program(const char* Name, const fs::path& Source) {
    const std::string path = Path(Name);
    fs::copy_file(Source, path, fs::copy_options::overwrite_existing);
    return path;
  }
  TAboutBox* Open() {
    TAboutBox* box = form->FindOrCreateForm<TAboutBox>();
    box->show();
    return box;
  }
  static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(AboutTest, ShowsProgramNameAndProductVersion) {
  // This test program carries the same version information as the program.
  platform.ProgramPath = Program("Tavi.exe", "/proc/self/exe");
  TAboutBox* box = Open();
  EXPECT_EQ(box->ProductName->text(), QStringLiteral("ProductName : Tavi.exe"));
  EXPECT_EQ(box->Version->text(), QStringLiteral("Version : 0.61"));
  EXPECT_EQ(box->windowTitle(), QString::fromUtf8("バージョン情報"));
  EXPECT_EQ(box->size(), QSize(298, 213));
  EXPECT_EQ(box->Comments->text(), QString::fromUtf8("コメント"));
  EXPECT_EQ(box->Label1->text(), QString::fromUtf8("お気づきの点がありましたら、下記まで"));
  EXPECT_EQ(box->OKButton->text(), QStringLiteral("OK"));
  EXPECT_TRUE(box->OKButton->isDefault());
  EXPECT_FALSE(box->ProgramIcon->pixmap().isNull());
  EXPECT_EQ(box->ProgramIcon->size(), QSize(65, 57));
  for (const char* name : {"ProgramIcon", "ProductName", "Version", "Comments", "Label1", "Label2"})
    EXPECT_NE(box->Panel1->findChild<QLabel*>(QString::fromLatin1(name)), nullptr) << name;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    EXPECT_LE((box->geometry().center() - screen->availableGeometry().center()).manhattanLength(), 2);
  }
}

TEST_F(AboutTest, ProgramWithoutVersionInformation) {
  platform.ProgramPath = Program("Tavi.exe", "/bin/true");
  TAboutBox* box = Open();
  EXPECT_EQ(box->ProductName->text(), QStringLiteral("ProductName : Tavi.exe"));
  EXPECT_EQ(box->Version->text(), QStringLiteral("Version : "));
  box->close();
  Flush();

  // A program file that cannot be read at all reads the same way.
  platform.ProgramPath = Path("missing/Other.bin");
  box = Open();
  EXPECT_EQ(box->ProductName->text(), QStringLiteral("ProductName : Other.bin"));
  EXPECT_EQ(box->Version->text(), QStringLiteral("Version : "));
}

TEST_F(AboutTest, OkEscapeAndDeactivationCloseAndFree) {
  const std::vector<void (*)(TAboutBox*)> closers = {
      [](TAboutBox* Box) { Box->OKButton->click(); },
      [](TAboutBox* Box) { Box->FormDeactivate(); },
      [](TAboutBox* Box) { Box->reject(); },  // Escape
  };
  for (std::size_t i = 0; i < closers.size(); ++i) {
    QPointer<TAboutBox> box(Open());
    EXPECT_EQ(form->FindOrCreateForm<TAboutBox>(), box.data());
    closers[i](box);
    Flush();
    EXPECT_TRUE(box.isNull()) << i;  // the next use makes a new one
  }
}

}  // namespace
}  // namespace tavi
