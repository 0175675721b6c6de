// The drive facts on Linux and other POSIX systems: a volume is a mounted
// file system (QStorageInfo), and its kind comes from the block device under
// /sys that holds it. Drive letters and network share paths name no volume
// here.
#include "volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace volumes {

namespace {

// Roots that name no volume on this system: drive letters and shares on a
// system that has neither.
bool IsForeignRoot(const QString& root) { return HasDriveLetter(root) || IsNetworkShare(root); }

QString g_sysRoot;

QString SysRoot() { return g_sysRoot.isEmpty() ? QStringLiteral("/sys") : g_sysRoot; }

// A one-line attribute file of /sys, trimmed; "" when it cannot be read.
QString ReadAttribute(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromLatin1(f.read(64)).trimmed();
}

bool IsNetworkFs(const QString& fs) {
  static const char* const kPrefixes[] = {"nfs", "cifs", "smb", "sshfs", "fuse.sshfs", "9p",
                                          "afs", "ncpfs", "ceph", "glusterfs", "fuse.glusterfs",
                                          "davfs", "fuse.davfs", "fuse.rclone", "lustre"};
  for (const char* p : kPrefixes)
    if (fs.startsWith(QLatin1String(p))) return true;
  return false;
}

bool IsMemoryFs(const QString& fs) {
  return fs == u"tmpfs" || fs == u"ramfs" || fs == u"devtmpfs";
}

// Kernel interfaces mounted as file systems: no files a user catalogues.
bool IsPseudoFs(const QString& fs) {
  static const char* const kPseudo[] = {
      "proc",     "sysfs",      "cgroup",    "cgroup2",  "debugfs", "securityfs", "devpts",
      "mqueue",   "pstore",     "bpf",       "tracefs",  "configfs", "fusectl",   "hugetlbfs",
      "autofs",   "binfmt_misc", "efivarfs", "nsfs",     "rpc_pipefs", "selinuxfs"};
  for (const char* p : kPseudo)
    if (fs == QLatin1String(p)) return true;
  return false;
}

bool IsOpticalFs(const QString& fs) { return fs == u"iso9660" || fs == u"udf"; }

// A block device name must be one plain name: it is joined to /sys paths.
bool IsPlainName(const QString& name) {
  return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
         !name.contains(u'\\');
}

DriveType ClassifyDisk(const QString& disk, int depth) {
  const QString dir = SysRoot() + QStringLiteral("/block/") + disk;
  const QString scsiType = ReadAttribute(dir + QStringLiteral("/device/type"));
  // sr* are the SCSI CD/DVD drives; SCSI peripheral type 5 is a CD/DVD device
  // whatever its name.
  if (disk.startsWith(u"sr") || scsiType == u"5") return DriveType::CDRom;
  if (ReadAttribute(dir + QStringLiteral("/removable")) == u"1") return DriveType::Removable;
  // SD cards in a card reader built into the machine report removable 0; the
  // card type tells them from soldered eMMC ("MMC").
  if (disk.startsWith(u"mmcblk") && scsiType == u"SD") return DriveType::Removable;
  // Mapped devices (encryption, LVM, RAID) take the kind of the disks they are
  // built on: an encrypted USB stick is still a removable drive.
  if (depth < 8) {
    const QStringList slaves =
        QDir(dir + QStringLiteral("/slaves")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& slave : slaves) {
      const QString under = DiskOf(slave);
      if (under.isEmpty() || under == disk) continue;
      const DriveType t = ClassifyDisk(under, depth + 1);
      if (t == DriveType::Removable || t == DriveType::CDRom) return t;
    }
  }
  if (disk.startsWith(u"zram")) return DriveType::RamDisk;
  if (disk.startsWith(u"ram") && disk.size() > 3 && disk[3].isDigit()) return DriveType::RamDisk;
  return DriveType::Fixed;
}

}  // namespace

DriveType TypeOf(const QString& root) {
  if (root.isEmpty() || IsForeignRoot(root) || !QFileInfo::exists(root))
    return DriveType::NoRootDir;
  const QStorageInfo info(root);
  if (!info.isValid()) return DriveType::NoRootDir;
  return TypeFromDevice(QString::fromLocal8Bit(info.device()),
                        QString::fromLatin1(info.fileSystemType()));
}

bool IsReady(const QString& root) {
  if (root.isEmpty() || IsForeignRoot(root)) return false;
  const QFileInfo dir(root);
  if (!dir.isDir() || !dir.isReadable()) return false;
  const QStorageInfo info(root);
  return info.isValid() && info.isReady();
}

QString Label(const QString& root) {
  if (root.isEmpty() || IsForeignRoot(root) || !QFileInfo::exists(root)) return QString();
  const QStorageInfo info(root);
  return info.isValid() ? info.name() : QString();
}

QStringList Roots() {
  QStringList roots{QStringLiteral("/")};
  // System areas hold no user files even when they are real partitions.
  static const char* const kSystem[] = {"/boot", "/efi", "/snap", "/var", "/usr", "/opt", "/srv",
                                        "/tmp"};
  for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
    if (!info.isValid() || !info.isReady()) continue;
    const QString root = info.rootPath();
    if (root == u"/" || roots.contains(root)) continue;
    const QString device = QString::fromLocal8Bit(info.device());
    const DriveType type = TypeFromDevice(device, QString::fromLatin1(info.fileSystemType()));
    bool keep = type == DriveType::Removable || type == DriveType::CDRom || type == DriveType::Remote;
    if (type == DriveType::Fixed && device.startsWith(u"/dev/") && !device.startsWith(u"/dev/loop")) {
      keep = true;
      for (const char* s : kSystem) {
        const QString area = QLatin1String(s);
        if (root == area || root.startsWith(area + u'/')) keep = false;
      }
    }
    if (keep) roots.append(root);
  }
  return roots;
}

void SetSysRootForTesting(const QString& sysRoot) { g_sysRoot = sysRoot; }

QString DiskOf(const QString& blockName) {
  if (!IsPlainName(blockName)) return QString();
  const QString sys = SysRoot();
  if (QFileInfo::exists(sys + QStringLiteral("/block/") + blockName)) return blockName;

  // A partition's entry in /sys/class/block links into its disk's folder.
  const QFileInfo entry(sys + QStringLiteral("/class/block/") + blockName);
  if (entry.exists()) {
    const QString real = entry.canonicalFilePath();
    if (!real.isEmpty()) {
      const QString disk = QFileInfo(QFileInfo(real).absolutePath()).fileName();
      if (IsPlainName(disk) && QFileInfo::exists(sys + QStringLiteral("/block/") + disk))
        return disk;
    }
  }

  // Without the class links, go by the naming rules: "sdb1" is on "sdb",
  // "nvme0n1p2" and "mmcblk0p1" on "nvme0n1" and "mmcblk0".
  QString base = blockName;
  while (!base.isEmpty() && base.back().isDigit()) base.chop(1);
  if (base.isEmpty() || base == blockName) return QString();
  if (QFileInfo::exists(sys + QStringLiteral("/block/") + base)) return base;
  if (base.size() > 2 && base.back() == u'p' && base[base.size() - 2].isDigit()) {
    base.chop(1);
    if (QFileInfo::exists(sys + QStringLiteral("/block/") + base)) return base;
  }
  return QString();
}

DriveType TypeFromDevice(const QString& device, const QString& fileSystemType) {
  const QString fs = fileSystemType.toLower();
  if (IsNetworkFs(fs) || device.startsWith(u"//")) return DriveType::Remote;
  if (IsMemoryFs(fs)) return DriveType::RamDisk;
  if (IsPseudoFs(fs)) return DriveType::Unknown;
  if (device.startsWith(u'/')) {
    // /dev/mapper/<name> and /dev/disk/by-*/<name> are links to the kernel's
    // own device node (dm-0, sdb1).
    const QString real = QFileInfo(device).canonicalFilePath();
    const QString name = QFileInfo(real.isEmpty() ? device : real).fileName();
    const QString disk = DiskOf(name);
    if (!disk.isEmpty()) return ClassifyDisk(disk, 0);
  }
  if (IsOpticalFs(fs)) return DriveType::CDRom;
  // Local file systems without a block device of their own (overlay, zfs
  // datasets, bind mounts of containers) hold ordinary local files.
  return DriveType::Fixed;
}

}  // namespace volumes
