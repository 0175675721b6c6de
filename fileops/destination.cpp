#include "destination.h"

#include <QDir>

namespace fileops {

namespace {

bool IsSeparator(QChar c) {
  return c == u'/' || (PathsHaveDriveLetters() && (c == u'\\' || c == u':'));
}

int LastSeparator(const QString& path) {
  for (int i = (int)path.size() - 1; i >= 0; --i)
    if (IsSeparator(path[i])) return i;
  return -1;
}

}  // namespace

bool PathsHaveDriveLetters() {
#ifdef Q_OS_WIN
  return true;
#else
  return false;
#endif
}

bool IsFullPath(const QString& path) {
  if (!PathsHaveDriveLetters()) return path.startsWith(u'/');
  if (path.size() >= 2 && path[1] == u':' && path[0].isLetter() && path[0].unicode() < 128) return true;
  return path.startsWith(QStringLiteral("\\\\")) || path.startsWith(QStringLiteral("//"));
}

QString FolderPart(const QString& path) {
  const int i = LastSeparator(path);
  if (i < 0) return QString();
  // A drive's colon, a separator right after it or a leading one close a
  // root and stay.
  if (path[i] == u':' || i == 0 || path[i - 1] == u':') return path.left(i + 1);
  return path.left(i);
}

QString NamePart(const QString& path) { return path.mid(LastSeparator(path) + 1); }

QString JoinPath(const QString& folder, const QString& name) {
  if (folder.isEmpty()) return name;
  if (folder.endsWith(u'/') || (PathsHaveDriveLetters() && folder.endsWith(u'\\'))) return folder + name;
  const bool backslashes = PathsHaveDriveLetters() && !folder.contains(u'/');
  return folder + (backslashes ? u'\\' : u'/') + name;
}

QString ProposedDestination(const QString& remembered, const QString& recordPath, const QString& defaultFolder) {
  const QString name = NamePart(recordPath);
  return JoinPath(IsFullPath(remembered) ? remembered : defaultFolder, name);
}

QString RememberedFolder(const QString& chosen) {
  QString folder = FolderPart(chosen);
  if (PathsHaveDriveLetters() && !chosen.mid(1).contains(u'\\') && !chosen.mid(1).contains(u'/')) folder += u'\\';
  return folder;
}

}  // namespace fileops
