#include "datafiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace store {

QString DataFilePath(const QString& dataDir, const char* file) {
  QString dir = QDir::fromNativeSeparators(dataDir);
  while (dir.size() > 1 && dir.endsWith(u'/')) dir.chop(1);
  if (dir.isEmpty()) return QString::fromLatin1(file);
  if (dir.endsWith(u'/')) return dir + QLatin1String(file);
  return dir + u'/' + QLatin1String(file);
}

namespace {

// Permission bits do not tell the whole story (ACLs, read-only mounts,
// Windows' protected program folders), so writability is tested by creating
// and removing a file there.
bool CanWriteIn(const QString& dir) {
  QFileInfo info(dir);
  if (!info.isDir()) return false;
  QTemporaryFile probe(dir + QStringLiteral("/.vantrell-write-test-XXXXXX"));
  return probe.open();
}

}  // namespace

QString DefaultDataFolder(const QString& executableDir) {
  QString exeDir = executableDir.isEmpty() ? QCoreApplication::applicationDirPath() : executableDir;
  exeDir = QDir::cleanPath(QDir::fromNativeSeparators(exeDir));
  const QString beside = exeDir + QStringLiteral("/data");
  const bool writable = QFileInfo::exists(beside) ? CanWriteIn(beside) : CanWriteIn(exeDir);
  if (writable) return beside;
  return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)) +
         QStringLiteral("/data");
}

bool EnsureDataFolder(const QString& dir, QString* error) {
  auto fail = [&](const QString& text) {
    if (error) *error = text;
    return false;
  };
  if (dir.isEmpty()) return fail(QStringLiteral("No data folder was given."));
  const QFileInfo info(dir);
  if (info.isDir()) return true;
  if (info.exists())
    return fail(QStringLiteral("The data folder %1 cannot be used: it is a file, not a folder.")
                    .arg(QDir::toNativeSeparators(dir)));
  if (!QDir().mkpath(dir))
    return fail(QStringLiteral("The data folder %1 could not be created (check that its parent "
                               "folder exists and can be written).")
                    .arg(QDir::toNativeSeparators(dir)));
  return true;
}

std::string EnginePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString FromEnginePath(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
}

}  // namespace store
