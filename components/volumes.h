// Drives and volumes behind one small layer. A catalogued path is checked
// against the volume that holds it: its root, the kind of drive, whether a
// medium is there, and its label.
//
// Paths written with a drive letter ("C:\...") or as a network share
// ("\\server\share\...") have that root on every platform. Any other path's
// root is the mount point of its volume. On Windows the drive facts come from
// the system's drive queries (volumes_win32.cpp); elsewhere from QStorageInfo
// and /sys/block (volumes_posix.cpp).
#pragma once

#include <QString>
#include <QStringList>

namespace volumes {

enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CDRom, RamDisk };

// "C:\..." or "c:/..." (and the bare drive "C:"); false for anything else.
bool HasDriveLetter(const QString& path);

// A path that begins as a network share's does: two backslashes and a name
// ("\\server\share\...", on Windows also "//server/share/...").
bool IsNetworkShare(const QString& path);

// Drive letter paths: "X:\" (letter upper-cased); network shares
// "\\server\share\"; otherwise the mount point of the path's volume (that of
// its nearest existing ancestor). "" for a relative or empty path, a share
// without a share name, or when no volume can be found.
QString RootOf(const QString& path);

// The kind of drive that holds root. NoRootDir when there is no such volume
// (a drive letter on a system without drive letters, a folder that is gone).
DriveType TypeOf(const QString& root);

// True when the volume is mounted and readable. Never prompts for a medium
// and does not wait on an empty drive.
bool IsReady(const QString& root);

// The volume's name; "" when it has none or it cannot be read.
QString Label(const QString& root);

// The roots a user may browse: drive roots on Windows; elsewhere "/" followed
// by the mount points of real disks, removable media and network shares.
QStringList Roots();

#ifndef _WIN32
// --- Below: the Linux device classification, exposed for tests. -------------

// Reads device facts from another folder than "/sys" (a fake tree in tests);
// "" restores "/sys".
void SetSysRootForTesting(const QString& sysRoot);

// The drive type of a mounted file system, from its device ("/dev/sdb1",
// "/dev/mapper/data", "server:/export", "tmpfs") and its file system type
// ("ext4", "nfs4", ...), by the block device facts under the /sys root.
DriveType TypeFromDevice(const QString& device, const QString& fileSystemType);

// The whole disk under <sys root>/block that holds a block device name
// ("sdb1" -> "sdb", "nvme0n1p2" -> "nvme0n1", "dm-0" -> "dm-0"); "" when the
// device is not known there.
QString DiskOf(const QString& blockName);
#endif

}  // namespace volumes
