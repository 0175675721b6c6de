// The drive facts on Windows, from the system's own drive queries. A query
// of a drive without its medium (an empty card reader or optical drive)
// fails at once instead of asking the user to insert a disk.
#include "volumes.h"

#include <QDir>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace volumes {

namespace {

std::wstring NativeRoot(const QString& root) {
  QString r = QDir::toNativeSeparators(root);
  if (!r.endsWith(u'\\')) r += u'\\';
  return r.toStdWString();
}

// Keeps Windows from asking the user to insert a disk while a drive is
// queried; puts the previous mode back afterwards.
class QuietDriveErrors {
 public:
  QuietDriveErrors() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~QuietDriveErrors() { SetErrorMode(previous_); }

 private:
  UINT previous_;
};

}  // namespace

DriveType TypeOf(const QString& root) {
  if (root.isEmpty()) return DriveType::NoRootDir;
  switch (GetDriveTypeW(NativeRoot(root).c_str())) {
    case DRIVE_NO_ROOT_DIR:
      return DriveType::NoRootDir;
    case DRIVE_REMOVABLE:
      return DriveType::Removable;
    case DRIVE_FIXED:
      return DriveType::Fixed;
    case DRIVE_REMOTE:
      return DriveType::Remote;
    case DRIVE_CDROM:
      return DriveType::CDRom;
    case DRIVE_RAMDISK:
      return DriveType::RamDisk;
    default:
      return DriveType::Unknown;
  }
}

bool IsReady(const QString& root) {
  if (root.isEmpty()) return false;
  QuietDriveErrors quiet;
  ULARGE_INTEGER total;
  return GetDiskFreeSpaceExW(NativeRoot(root).c_str(), nullptr, &total, nullptr) != 0;
}

QString Label(const QString& root) {
  if (root.isEmpty()) return QString();
  QuietDriveErrors quiet;
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(NativeRoot(root).c_str(), name, MAX_PATH + 1, nullptr, nullptr,
                             nullptr, nullptr, 0))
    return QString();
  return QString::fromWCharArray(name);
}

QStringList Roots() {
  QStringList roots;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i)
    if (mask & (1u << i)) roots.append(QString(QChar(u'A' + i)) + QStringLiteral(":\\"));
  return roots;
}

}  // namespace volumes
