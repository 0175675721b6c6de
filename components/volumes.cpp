// What a path itself says about its volume: drive letters, network shares
// and, for any other absolute path, the mount point of the volume that holds
// it. The drive queries of each system are in volumes_win32.cpp and
// volumes_posix.cpp.
#include "volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace volumes {

namespace {

bool IsSeparator(QChar c) {
#ifdef _WIN32
  return c == u'\\' || c == u'/';
#else
  return c == u'\\';
#endif
}

}  // namespace

bool IsNetworkShare(const QString& path) {
  return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

bool HasDriveLetter(const QString& path) {
  if (path.size() < 2) return false;
  const QChar letter = path[0];
  const bool isLetter = (letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z');
  if (!isLetter || path[1] != u':') return false;
  return path.size() == 2 || path[2] == u'\\' || path[2] == u'/';
}

QString RootOf(const QString& path) {
  if (path.trimmed().isEmpty()) return QString();
  if (HasDriveLetter(path)) return QString(path[0].toUpper()) + QStringLiteral(":\\");
  if (IsNetworkShare(path)) {
    // Server and share are the first two names after the leading separators.
    QStringList names;
    QString current;
    for (qsizetype i = 2; i < path.size() && names.size() < 2; ++i) {
      if (IsSeparator(path[i])) {
        names.append(current);
        current.clear();
      } else {
        current.append(path[i]);
      }
    }
    if (names.size() < 2) names.append(current);
    if (names.size() < 2 || names[0].isEmpty() || names[1].isEmpty()) return QString();
    return QStringLiteral("\\\\") + names[0] + u'\\' + names[1] + u'\\';
  }
  if (!QDir::isAbsolutePath(path)) return QString();

  // The file may be gone: its volume is that of the nearest folder that is
  // still there.
  QString existing = QDir::cleanPath(path);
  while (!QFileInfo::exists(existing)) {
    const QString parent = QFileInfo(existing).absolutePath();
    if (parent == existing) return QString();
    existing = parent;
  }
  const QStorageInfo info(existing);
  return info.isValid() ? info.rootPath() : QString();
}

}  // namespace volumes
