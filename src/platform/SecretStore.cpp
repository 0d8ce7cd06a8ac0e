// Secrets in the desktop's secret store (the Secret Service or KWallet),
// through QtKeychain. Its jobs answer asynchronously; the callers want the
// answer now, so each job runs in a local event loop, bounded in time.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include "platform/QtPlatform.h"

namespace tavi {
namespace {

const QString Service = QStringLiteral("Tavi");
constexpr int JobMs = 5000;

// QtKeychain falls back to a plain file of its own when no store runs; a
// secret is better in our own private settings than there.
bool StoreRuns() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  for (const char* name : {"org.freedesktop.secrets", "org.kde.kwalletd5", "org.kde.kwalletd6"})
    if (bus.interface()->isServiceRegistered(QLatin1String(name))) return true;
  return false;
}

// The job's error, or OtherError when it did not finish in time.
QKeychain::Error RunJob(QKeychain::Job& Job) {
  Job.setAutoDelete(false);
  bool finished = false;
  QEventLoop loop;
  QObject::connect(&Job, &QKeychain::Job::finished, &loop, [&] {
    finished = true;
    loop.quit();
  });
  QTimer::singleShot(JobMs, &loop, &QEventLoop::quit);
  Job.start();
  if (!finished) loop.exec();
  return finished ? Job.error() : QKeychain::OtherError;
}

}  // namespace

std::optional<std::string> TQtPlatform::ReadSecret(const std::string& Key) {
  if (!StoreRuns()) return std::nullopt;
  QKeychain::ReadPasswordJob job(Service);
  job.setKey(QString::fromStdString(Key));
  const QKeychain::Error error = RunJob(job);
  if (error == QKeychain::NoError) return job.textData().toStdString();
  // No entry is an empty secret; a store that fails is no store.
  if (error == QKeychain::EntryNotFound) return std::string();
  return std::nullopt;
}

bool TQtPlatform::WriteSecret(const std::string& Key, const std::string& Value) {
  if (!StoreRuns()) return false;
  if (Value.empty()) {
    QKeychain::DeletePasswordJob job(Service);
    job.setKey(QString::fromStdString(Key));
    const QKeychain::Error error = RunJob(job);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
  }
  QKeychain::WritePasswordJob job(Service);
  job.setKey(QString::fromStdString(Key));
  job.setTextData(QString::fromStdString(Value));
  return RunJob(job) == QKeychain::NoError;
}

}  // namespace tavi
