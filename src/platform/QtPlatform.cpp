#include "platform/QtPlatform.h"
#include "platform/DesktopNotifier.h"
#include "platform/FileFolder.h"

#include <netdb.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QTranslator>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <climits>

#include "kanji/QtText.h"

namespace tavi {

namespace {

bool MayFreeItself(const QWidget* Window) {
  return Window->testAttribute(Qt::WA_DeleteOnClose) && !qobject_cast<const QMainWindow*>(Window);
}

QString& TitleText() {
  static QString Text = QStringLiteral("Tavi");
  return Text;
}
QString Title() { return TitleText(); }

QDate ToQDate(const TDateTime& When) { return QDate(When.Year, When.Month, When.Day); }

QLocale Japanese() { return QLocale(QLocale::Japanese, QLocale::Japan); }

std::string Native(const QString& Path) { return Path.isEmpty() ? std::string() : QFile::encodeName(Path).toStdString(); }

}  // namespace

void SetApplicationTitle(const QString& Title) { TitleText() = Title; }
QString ApplicationTitle() { return TitleText(); }

void ConfigureApplication(QApplication& App) {
  QCoreApplication::setApplicationName(QStringLiteral("Tavi"));
  QCoreApplication::setOrganizationName(QStringLiteral("Tavi"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tavi"));
  SetApplicationTitle(QStringLiteral("Tavi"));
  InstallJapaneseQtTranslation(App);
}

bool InstallJapaneseQtTranslation(QCoreApplication& App) {
  auto* translator = new QTranslator(&App);
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

QString QtFileFilter(const std::string& Filter) {
  const QStringList Parts = QText(Filter).split(QLatin1Char('|'));
  QStringList Filters;
  for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
    QString Patterns = Parts[I + 1];
    Patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // "*.*" means every file where such filters come from; to Qt it means
    // names with a dot. The dialogs hide the patterns, so the text stays.
    QStringList Each = Patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString& Pattern : Each)
      if (Pattern == QStringLiteral("*.*")) Pattern = QStringLiteral("*");
    Patterns = Each.join(QLatin1Char(' '));
    Filters << Parts[I] + QStringLiteral(" (") + Patterns + QLatin1Char(')');
  }
  return Filters.join(QStringLiteral(";;"));
}

QWidget* StableDialogParent() {
  QWidget* window = QApplication::activeWindow();
  while (window && MayFreeItself(window)) {
    QWidget* owner = window->parentWidget();
    window = owner ? owner->window() : nullptr;
  }
  if (window) return window;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(top) && top->isVisible()) return top;
  return nullptr;
}

// The boxes live on the heap under a guard: should their parent go during
// their event loop after all, they go with it and are not freed twice.
void TQtPlatform::ShowMessage(const std::string& Text) {
  QPointer<QMessageBox> box = new QMessageBox(QMessageBox::NoIcon, Title(), QText(Text), QMessageBox::Ok,
                                              StableDialogParent());
  box->exec();
  delete box.data();
}

QWidget* TQtPlatform::NoticeWindow() const { return notice_.data(); }

void TQtPlatform::ShowNotice(const std::string& Text) {
  // A notice dismissed starts the count again.
  if ((!notice_ || !notice_->isVisible()) && !noticePending_) noticeCount_ = 0;
  ++noticeCount_;
  noticeText_ = QText(Text);
  // Shown once per turn of the event loop: a burst of notices lays the box
  // out once, not once each.
  if (noticePending_) return;
  noticePending_ = true;
  QTimer::singleShot(0, qApp, [this] {
    noticePending_ = false;
    if (!notice_) {
      notice_ = new QMessageBox(QMessageBox::Information, Title(), QString(), QMessageBox::Ok, StableDialogParent());
      notice_->setObjectName(QStringLiteral("NoticeBox"));
      notice_->setAttribute(Qt::WA_DeleteOnClose);
      notice_->setWindowModality(Qt::NonModal);
      // What the user is typing keeps going where it went.
      notice_->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    QString shown = noticeText_;
    if (noticeCount_ > 1)
      shown += QStringLiteral(u"\n\n（このほかに %1 件のお知らせがありました。）").arg(noticeCount_ - 1);
    notice_->setText(shown);
    notice_->show();
  });
}

namespace {

bool AskYesNoWith(const std::string& Text, QMessageBox::StandardButton Default) {
  QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, Title(), QText(Text),
                                              QMessageBox::Yes | QMessageBox::No, StableDialogParent());
  box->setDefaultButton(Default);
  const int answer = box->exec();
  const bool yes = box && answer == QMessageBox::Yes;
  delete box.data();
  return yes;
}

// Text as rich text, its line ends as breaks.
QString RichLines(const std::string& Text) {
  return QText(Text).toHtmlEscaped().replace(QStringLiteral("\r\n"), QStringLiteral("<br>")).replace(
      QLatin1Char('\n'), QStringLiteral("<br>"));
}

// A text without blanks (a fingerprint) in short lines, so that two fit
// side by side.
QString FixedLines(const std::string& Text) {
  constexpr qsizetype Width = 24;
  const QString text = QText(Text);
  QStringList lines;
  for (qsizetype i = 0; i < text.size(); i += Width) lines << text.mid(i, Width).toHtmlEscaped();
  return QStringLiteral("<tt>") + lines.join(QStringLiteral("<br>")) + QStringLiteral("</tt>");
}

QString QuestionHtml(const TQuestion& Question) {
  QString heads, cells;
  for (const auto& [heading, text] : Question.SideBySide) {
    heads += QStringLiteral("<th align=\"left\">") + RichLines(heading) + QStringLiteral("</th>");
    cells += QStringLiteral("<td style=\"white-space: pre\">") + FixedLines(text) + QStringLiteral("</td>");
  }
  return QStringLiteral("<p>") + RichLines(Question.Text) +
         QStringLiteral("</p><table cellspacing=\"0\" cellpadding=\"6\"><tr>") + heads + QStringLiteral("</tr><tr>") +
         cells + QStringLiteral("</tr></table><p>") + RichLines(Question.After) + QStringLiteral("</p>");
}

}  // namespace

bool TQtPlatform::AskYesNo(const std::string& Text) { return AskYesNoWith(Text, QMessageBox::No); }

bool TQtPlatform::AskYesNoDefaultYes(const std::string& Text) { return AskYesNoWith(Text, QMessageBox::Yes); }

int TQtPlatform::AskQuestion(const TQuestion& Question) {
  QPointer<QMessageBox> box =
      new QMessageBox(QMessageBox::Warning, Question.Title.empty() ? Title() : QText(Question.Title), QString(),
                      QMessageBox::NoButton, StableDialogParent());
  if (Question.SideBySide.empty()) {
    box->setTextFormat(Qt::PlainText);
    box->setText(QText(Question.After.empty() ? Question.Text : Question.Text + "\r\n\r\n" + Question.After));
  } else {
    box->setTextFormat(Qt::RichText);
    box->setText(QuestionHtml(Question));
  }
  std::vector<QAbstractButton*> buttons;
  for (const std::string& choice : Question.Choices)
    buttons.push_back(box->addButton(QText(choice), buttons.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
  // The last choice, the cautious one, is what a stray Enter, Esc and the
  // title bar's close give.
  if (!buttons.empty()) {
    box->setDefaultButton(static_cast<QPushButton*>(buttons.back()));
    box->setEscapeButton(buttons.back());
  }
  box->exec();
  // A box gone with its parent counts as closed.
  const auto it = box ? std::find(buttons.begin(), buttons.end(), box->clickedButton()) : buttons.end();
  delete box.data();
  return it == buttons.end() ? -1 : static_cast<int>(it - buttons.begin());
}

void TQtPlatform::Beep() { QApplication::beep(); }

void TQtPlatform::Notify(const std::string& Title, const std::string& Body) {
  DesktopNotify(QString::fromStdString(Title), QString::fromStdString(Body));
}

std::string TQtPlatform::OpenFileName(QWidget* Parent, const std::string& Filter) {
  const QString chosen = QFileDialog::getOpenFileName(Parent, QString(), FileDialogFolder(), QtFileFilter(Filter),
                                                      nullptr, QFileDialog::HideNameFilterDetails);
  FileChosenIn(chosen);
  return Native(chosen);
}

std::string TQtPlatform::SaveFileName(QWidget* Parent, const std::string& Filter, const std::string& Proposed) {
  // A bare name is proposed in the folder the dialog starts in.
  QString proposed = QText(Proposed);
  if (QFileInfo(proposed).isRelative()) proposed = FileDialogFolder() + QLatin1Char('/') + proposed;
  const QString chosen = QFileDialog::getSaveFileName(Parent, QString(), proposed, QtFileFilter(Filter), nullptr,
                                                      QFileDialog::HideNameFilterDetails);
  FileChosenIn(chosen);
  return Native(chosen);
}

std::string TQtPlatform::SaveFolder() { return Native(FileDialogFolder()); }

TDateTime TQtPlatform::Now() {
  const QDateTime Now = QDateTime::currentDateTime();
  const QDate D = Now.date();
  const QTime T = Now.time();
  TDateTime R;
  R.Year = D.year();
  R.Month = D.month();
  R.Day = D.day();
  R.Hour = T.hour();
  R.Minute = T.minute();
  R.Second = T.second();
  R.Millisecond = T.msec();
  R.DayOfWeek = D.dayOfWeek();
  return R;
}

std::uint32_t TQtPlatform::TickCount() {
  const auto Ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(Ms.count());
}

// Every text of the program is Japanese, so are its dates, whatever the
// system's locale: "2026/12/08", "2026年12月8日", "火曜日".
std::string TQtPlatform::ShortDateText(const TDateTime& When) {
  return StdText(Japanese().toString(ToQDate(When), QStringLiteral("yyyy/MM/dd")));
}

std::string TQtPlatform::LongDateText(const TDateTime& When) {
  return StdText(Japanese().toString(ToQDate(When), QStringLiteral(u"yyyy年M月d日")));
}

std::string TQtPlatform::WeekdayName(const TDateTime& When) {
  return StdText(Japanese().dayName(When.DayOfWeek, QLocale::LongFormat));
}

QStringList HelpFilePlaces(const QString& ProgramFolder, const QString& HelpFile) {
  const QString Installed = QStringLiteral(TAVI_INSTALLED_DOCS);
  const QString InstalledFolder =
      QDir::isAbsolutePath(Installed) ? Installed : ProgramFolder + QStringLiteral("/../") + Installed;
  return {QDir::cleanPath(InstalledFolder + QLatin1Char('/') + HelpFile),
          QDir::cleanPath(QStringLiteral(TAVI_SOURCE_DOCS "/") + HelpFile)};
}

void TQtPlatform::ShowHelp(const std::string& HelpFile, int Context) {
  const QString Folder = QFileInfo(QFile::decodeName(ProgramFilePath().c_str())).absolutePath();
  const QStringList Places = HelpFilePlaces(Folder, QText(HelpFile));
  for (const QString& Path : Places) {
    if (!QFileInfo::exists(Path)) continue;
    QUrl Url = QUrl::fromLocalFile(Path);
    Url.setFragment(QStringLiteral("help-%1").arg(Context));
    if (!OpenUrl(StdText(Url.toString(QUrl::FullyEncoded))))
      ShowMessage(U8(u8"利用の手引きをブラウザーで開けませんでした。\r\n") + StdText(Path));
    return;
  }
  ShowMessage(U8(u8"利用の手引き ") + HelpFile + U8(u8" が見つかりません。次の場所を探しました：\r\n") +
              StdText(Places.join(QStringLiteral("\r\n"))));
}

bool TQtPlatform::OpenUrl(const std::string& Url) {
  return QDesktopServices::openUrl(QUrl(QText(Url), QUrl::StrictMode));
}

std::vector<std::string> TQtPlatform::LocalIPv4Addresses() {
  std::vector<std::string> Result;
  char Host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(Host, sizeof Host - 1) != 0) return Result;
  addrinfo Hints{};
  Hints.ai_family = AF_INET;
  Hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
  addrinfo* List = nullptr;
  if (::getaddrinfo(Host, nullptr, &Hints, &List) != 0) return Result;
  for (const addrinfo* A = List; A; A = A->ai_next) {
    if (A->ai_family != AF_INET) continue;
    char Text[INET_ADDRSTRLEN] = {};
    const auto* In = reinterpret_cast<const sockaddr_in*>(A->ai_addr);
    if (!::inet_ntop(AF_INET, &In->sin_addr, Text, sizeof Text)) continue;
    if (std::find(Result.begin(), Result.end(), Text) == Result.end()) Result.emplace_back(Text);
  }
  ::freeaddrinfo(List);
  return Result;
}

std::string TQtPlatform::ProgramFilePath() {
  if (QCoreApplication::instance()) return Native(QCoreApplication::applicationFilePath());
  char Path[PATH_MAX + 1] = {};
  const ssize_t N = ::readlink("/proc/self/exe", Path, PATH_MAX);
  return N > 0 ? std::string(Path, static_cast<std::size_t>(N)) : std::string();
}

void InstallQtPlatform() {
  static TQtPlatform One;
  SetDefaultPlatform(&One);
}

}  // namespace tavi
