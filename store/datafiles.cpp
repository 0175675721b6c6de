#include "datafiles.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace store {

QString DataFilePath(const QString& dataDir, const char* file) {
  return FromUtf8(DataFilePathUtf8(ToUtf8(dataDir), file));
}

QString DefaultDataFolder(const QString& executableDir) {
  const QString exeDir = executableDir.isEmpty() ? QCoreApplication::applicationDirPath() : executableDir;
  return FromUtf8(DefaultDataFolderUtf8(ToUtf8(exeDir),
                                        ToUtf8(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))));
}

bool EnsureDataFolder(const QString& dir, QString* error) {
  std::string text;
  if (EnsureDataFolderUtf8(ToUtf8(dir), &text)) return true;
  if (error) *error = FromUtf8(text);
  return false;
}

// The engine takes UTF-8 paths on every platform (it converts them to the
// system's wide form on Windows).
std::string EnginePath(const QString& path) { return ToUtf8(path); }

QString FromEnginePath(const std::string& path) { return FromUtf8(path); }

}  // namespace store
