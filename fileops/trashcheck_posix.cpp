// The trash on POSIX systems: the freedesktop.org layout, a trash folder per
// volume and the user's own in the data folder.
#include "trashcheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace fileops {

namespace {

// Why the file cannot leave its folder (the folder is on a read-only file
// system, or the user may not change it); empty when it can. Asked first:
// a trash that cannot take the file otherwise only names the failed
// fallback (a rename across file systems), not the cause.
QString LeaveFolderProblem(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  if (::access(QFile::encodeName(folder).constData(), W_OK) != 0) {
    const int error = errno;
    return "The folder " + folder + " cannot be changed: " + QString::fromLocal8Bit(std::strerror(error)) + ".";
  }
  return QString();
}

// Where trash folders follow the freedesktop.org layout, the user's own
// trash ($XDG_DATA_HOME/Trash) made ready, as the toolkit would make it. The
// toolkit falls back to it for files it cannot trash on their own volume;
// when it cannot make it either, some of its versions take the program's
// current folder for the trash and move the file there. A trash that is
// surely there rules that out. Empty when it is ready; else why not.
QString HomeTrashProblem() {
#ifndef Q_OS_DARWIN
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty()) return QStringLiteral("There is no folder for the trash.");
  const QString trash = data + QStringLiteral("/Trash");
  if (!QFileInfo(trash).isDir()) {
    QDir().mkpath(data);
    if (QDir(data).mkdir(QStringLiteral("Trash")))
      QFile::setPermissions(trash, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }
  if (!QFileInfo(trash).isDir()) return "The trash folder " + trash + " cannot be made.";
#endif
  return QString();
}

}  // namespace

QString TrashProblem(const QString& path, bool present) {
  if (present)
    if (const QString problem = LeaveFolderProblem(path); !problem.isEmpty()) return problem;
  return HomeTrashProblem();
}

}  // namespace fileops
