#include "core/Session.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "core/Connection.h"
#include "core/GetVerInfoUnit.h"
#include "kanji/SjisCase.h"
#include "kanji/SjisText.h"
#include "platform/Platform.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsPlace.h"

namespace tavi {

namespace {

QString LocalPathText(const std::string& Path) {
  return QString::fromLocal8Bit(Path.data(), static_cast<qsizetype>(Path.size()));
}
std::string PathForMessage(const std::string& Path) { return ToSjis(LocalPathText(Path)); }

}  // namespace

TSession::TSession(QObject* Parent) : QObject(Parent) {
  const std::string program = Platform().ProgramFilePath();
  iniFileName_ = ::tavi::IniFileName(program);
  loadPath_ = savePath_ = iniFileName_;
  VersionText = BuildVersionText(program);
  connection_ = std::make_unique<TConnection>(*this);
}

TSession::~TSession() {
  // The connection's threads end before what they hand off to goes.
  connection_.reset();
}

std::string TSession::LoadSettings() {
  const std::string beside = iniFileName_;
  const QString name = QFileInfo(LocalPathText(beside)).fileName();
  const QString configDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  const std::string inConfig = QDir(configDir).filePath(name).toLocal8Bit().toStdString();

  // An installed program cannot write beside itself: the user's
  // configuration folder then holds the file.
  const std::string folder = QFileInfo(LocalPathText(beside)).absolutePath().toLocal8Bit().toStdString();
  const bool besideWritable = ::access(folder.c_str(), W_OK) == 0;
  const TSettingsPlace place = ChooseSettingsPlace(beside, inConfig, besideWritable,
                                                   QFileInfo::exists(LocalPathText(beside)),
                                                   QFileInfo::exists(LocalPathText(inConfig)));
  if (!place.SeedFrom.empty()) {
    // A copy that cannot be made (an unreadable file) starts from defaults.
    QDir().mkpath(QFileInfo(LocalPathText(place.Path)).absolutePath());
    QFile::copy(LocalPathText(place.SeedFrom), LocalPathText(place.Path));
  }
  loadPath_ = savePath_ = place.Path;

  const TSettingsLoadResult result = ::tavi::LoadSettings(loadPath_, module_);
  saveAllowed_ = result.Ok || !result.KeptAsidePath.empty() || !result.Existed;
  if (result.Ok) return {};
  std::string text = Sj(u8"設定ファイル ") + PathForMessage(loadPath_) + Sj(u8" を読み込めませんでした。") + "\r\n" +
                     result.Reason;
  if (!result.KeptAsidePath.empty())
    text += "\r\n" + Sj(u8"元のファイルは ") + PathForMessage(result.KeptAsidePath) + Sj(u8" として残しました。");
  text += "\r\n" + Sj(u8"読み込めなかった設定は初期値で始めます。");
  return text;
}

std::string TSession::SaveSettings() {
  if (!saveAllowed_) return {};
  if (savePath_ != iniFileName_) QDir().mkpath(QFileInfo(LocalPathText(savePath_)).absolutePath());
  const TSettingsSaveResult result = ::tavi::SaveSettings(savePath_, module_);
  if (result.Ok) return {};
  return Sj(u8"設定ファイル ") + PathForMessage(savePath_) + Sj(u8" を保存できませんでした。") + "\r\n" + result.Reason;
}

bool TSession::IsRefused(const std::string& Nick) const {
  return std::any_of(RecieveDenyList.begin(), RecieveDenyList.end(),
                     [&](const std::string& Denied) { return SjisSameText(Denied, Nick); });
}

void TSession::ApplyLogChoice(bool Logs) {
  if (Logs && !chatLog_)
    chatLog_ = std::make_unique<TChatLog>(TChatLog::DefaultFolder());
  else if (!Logs && chatLog_)
    chatLog_.reset();
}

bool TSession::AcceptedOnce(const std::string& Server, const std::string& Fingerprint) const {
  return std::find(acceptedOnce_.begin(), acceptedOnce_.end(), std::make_pair(Server, Fingerprint)) !=
         acceptedOnce_.end();
}

void TSession::AcceptOnce(const std::string& Server, const std::string& Fingerprint) {
  acceptedOnce_.emplace_back(Server, Fingerprint);
}

}  // namespace tavi
