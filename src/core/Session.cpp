#include "core/Session.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "core/Connection.h"
#include "core/DesktopSettings.h"
#include "core/GetVerInfoUnit.h"
#include "protocol/CaseMapping.h"
#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsPlace.h"
#include "settings/SettingsText.h"

namespace tavi {

namespace {

QString LocalPathText(const std::string& Path) {
  return QString::fromLocal8Bit(Path.data(), static_cast<qsizetype>(Path.size()));
}
std::string PathForMessage(const std::string& Path) { return StdText(LocalPathText(Path)); }

// Values the settings file cannot hold, kept in the desktop settings.
TWideValues ReadWideValues() {
  TWideValues wide;
  const std::unique_ptr<QSettings> settings = OpenDesktopSettings();
  settings->beginGroup(QStringLiteral("WideSettings"));
  for (const QString& key : settings->childGroups()) {
    settings->beginGroup(key);
    wide[QByteArray::fromPercentEncoding(key.toLatin1()).toStdString()] =
        TWideValue{settings->value(QStringLiteral("Text")).toString().toStdString(),
                   settings->value(QStringLiteral("FileBytes")).toByteArray().toStdString()};
    settings->endGroup();
  }
  return wide;
}

void WriteWideValues(const TWideValues& Wide) {
  const std::unique_ptr<QSettings> settings = OpenDesktopSettings();
  settings->remove(QStringLiteral("WideSettings"));
  settings->beginGroup(QStringLiteral("WideSettings"));
  for (const auto& [key, value] : Wide) {
    // Group names cannot hold "/".
    settings->beginGroup(QString::fromLatin1(QByteArray::fromStdString(key).toPercentEncoding()));
    settings->setValue(QStringLiteral("Text"), QString::fromStdString(value.Text));
    settings->setValue(QStringLiteral("FileBytes"), QByteArray::fromStdString(value.FileBytes));
    settings->endGroup();
  }
}

}  // namespace

TSession::TSession(QObject* Parent) : QObject(Parent) {
  const std::string program = Platform().ProgramFilePath();
  iniFileName_ = ::tavi::IniFileName(program);
  loadPath_ = savePath_ = iniFileName_;
  VersionText = BuildVersionText(program);
  connections_.push_back(std::make_unique<TConnection>(*this));
}

int TSession::ChannelsInTotal() const {
  int count = 0;
  for (const auto& connection : connections_) count += static_cast<int>(connection->Channels().size());
  return count;
}

TConnection& TSession::AddConnection(const TNetwork& Network) {
  auto connection = std::make_unique<TConnection>(*this);
  connection->UseNetwork(Network);
  connections_.push_back(std::move(connection));
  emit ConnectionAdded(connections_.back().get());
  return *connections_.back();
}

void TSession::RemoveConnection(TConnection* Connection) {
  for (std::size_t i = 1; i < connections_.size(); ++i) {
    if (connections_[i].get() != Connection) continue;
    emit ConnectionRemoving(Connection);
    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

TSession::~TSession() {
  // The connection's threads end before what they hand off to goes.
  // Further networks first; the first is what the rest of the program
  // was made with.
  while (connections_.size() > 1) connections_.pop_back();
  connections_.clear();
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

  const TSettingsLoadResult result = ::tavi::LoadSettings(loadPath_, fileModule_);
  module_ = SettingsFromFile(fileModule_, ReadWideValues());
  saveAllowed_ = result.Ok || !result.KeptAsidePath.empty() || !result.Existed;
  if (result.Ok) return {};
  std::string text = U8(u8"設定ファイル ") + PathForMessage(loadPath_) + U8(u8" を読み込めませんでした。") + "\r\n" +
                     result.Reason;
  if (!result.KeptAsidePath.empty())
    text += "\r\n" + U8(u8"元のファイルは ") + PathForMessage(result.KeptAsidePath) + U8(u8" として残しました。");
  text += "\r\n" + U8(u8"読み込めなかった設定は初期値で始めます。");
  return text;
}

std::string TSession::SaveSettings() {
  if (!saveAllowed_) return {};
  if (savePath_ != iniFileName_) QDir().mkpath(QFileInfo(LocalPathText(savePath_)).absolutePath());
  TWideValues wide;
  const TSettingsModule file = SettingsToFile(module_, fileModule_, wide);
  const TSettingsSaveResult result = ::tavi::SaveSettings(savePath_, file);
  if (result.Ok) {
    fileModule_ = file;
    WriteWideValues(wide);
    return {};
  }
  return U8(u8"設定ファイル ") + PathForMessage(savePath_) + U8(u8" を保存できませんでした。") + "\r\n" + result.Reason;
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
