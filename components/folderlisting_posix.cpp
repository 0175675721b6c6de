// Reading a folder on POSIX systems: readdir gives each entry's type with its
// name, and the device numbers tell where another file system is mounted;
// on Linux the mount table and the file system's magic number tell the
// system's own pseudo file systems.
#include "folderlisting.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#ifdef Q_OS_LINUX
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#endif

namespace listing {

namespace {

#ifdef Q_OS_LINUX
// The kinds of file system that show the running system rather than
// stored files, by the names the mount table gives them.
bool IsPseudoType(const QByteArray& type) {
  static const char* const kPseudo[] = {
      "proc",      "sysfs",      "devtmpfs", "devpts",      "cgroup",    "cgroup2",    "debugfs",
      "securityfs", "tracefs",   "configfs", "pstore",      "bpf",       "fusectl",    "mqueue",
      "hugetlbfs", "autofs",     "efivarfs", "binfmt_misc", "selinuxfs", "rpc_pipefs", "nsfs"};
  for (const char* p : kPseudo)
    if (type == p) return true;
  return false;
}

// The same by the magic number of the file system, for a folder the mount
// table does not name (devtmpfs cannot be told from tmpfs this way).
bool IsPseudoMagic(long magic) {
  static const unsigned long kMagic[] = {
      0x9fa0,      // proc
      0x62656572,  // sysfs
      0x1cd1,      // devpts
      0x27e0eb,    // cgroup
      0x63677270,  // cgroup2
      0x64626720,  // debugfs
      0x73636673,  // securityfs
      0x74726163,  // tracefs
      0x62656570,  // configfs
      0x6165676c,  // pstore
      0xcafe4a11,  // bpf
      0x65735543,  // fusectl
      0x19800202,  // mqueue
      0x958458f6,  // hugetlbfs
      0x0187,      // autofs
      0xde5e81e4,  // efivarfs
      0x42494e4d,  // binfmt_misc
  };
  for (unsigned long m : kMagic)
    if ((unsigned long)magic == m) return true;
  return false;
}
#endif

}  // namespace

TreeBounds::TreeBounds(bool otherFileSystems) : otherFileSystems_(otherFileSystems) {
#ifdef Q_OS_LINUX
  // Each line: id, parent id, major:minor, root, mount point, options,
  // optional fields, "-", the file system's type, its source, options.
  QFile table(QStringLiteral("/proc/self/mountinfo"));
  if (!table.open(QIODevice::ReadOnly)) return;
  for (const QByteArray& line : table.readAll().split('\n')) {
    const QList<QByteArray> fields = line.split(' ');
    const qsizetype dash = fields.indexOf("-");
    if (fields.size() < 3 || dash < 0 || dash + 1 >= fields.size()) continue;
    const QList<QByteArray> numbers = fields[2].split(':');
    if (numbers.size() != 2) continue;
    bool okMajor = false, okMinor = false;
    const unsigned major = numbers[0].toUInt(&okMajor), minor = numbers[1].toUInt(&okMinor);
    if (!okMajor || !okMinor) continue;
    devices_.emplace_back((unsigned long long)makedev(major, minor), IsPseudoType(fields[dash + 1]));
  }
#endif
}

bool TreeBounds::IsSystemFolder(const QString& path) const {
  struct stat st;
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
  return IsSystemDevice((unsigned long long)st.st_dev, path);
}

bool TreeBounds::IsSystemDevice(unsigned long long device, const QString& path) const {
  for (const auto& [d, pseudo] : devices_)
    if (d == device) return pseudo;
#ifdef Q_OS_LINUX
  struct statfs fs;
  if (::statfs(QFile::encodeName(path).constData(), &fs) == 0) return IsPseudoMagic((long)fs.f_type);
#else
  (void)path;
#endif
  return false;
}

#ifdef AT_NO_AUTOMOUNT
constexpr int kNoFollowNoMount = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
#else
constexpr int kNoFollowNoMount = AT_SYMLINK_NOFOLLOW;
#endif

FolderEntries ReadFolderEntries(const QString& folder, const NameMasks& masks, bool withFolders,
                                const TreeBounds* bounds) {
  FolderEntries out;
  if (folder.isEmpty() || (masks.Empty() && !withFolders)) return out;
  DIR* dir = ::opendir(QFile::encodeName(folder).constData());
  if (dir == nullptr) return out;
  out.readable = true;
  const int fd = ::dirfd(dir);
  struct stat here;
  const bool bounded = bounds != nullptr && withFolders && ::fstat(fd, &here) == 0;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;  // hidden, and "." and ".."
    unsigned char type = e->d_type;
    bool link = type == DT_LNK;
    if (type == DT_UNKNOWN || link) {
      // The type is not in the entry (some file systems) or the entry is a
      // link: one look at what the name leads to.
      struct stat st;
      if (type == DT_UNKNOWN) {
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        link = S_ISLNK(st.st_mode);
      }
      if (link && ::fstatat(fd, e->d_name, &st, 0) != 0) continue;  // a dangling link
      type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
    }
    if (type == DT_REG) {
      const QString name = QFile::decodeName(e->d_name);
      if (masks.Matches(name)) out.files << name;
    } else if (type == DT_DIR && withFolders && !link) {
      const QString name = QFile::decodeName(e->d_name);
      struct stat st;
      // Another file system starts where a subfolder's device differs from
      // its folder's (the look does not set off an automounter).
      if (bounded && ::fstatat(fd, e->d_name, &st, kNoFollowNoMount) == 0 &&
          st.st_dev != here.st_dev) {
        const QString path = folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
        if (bounds->IsSystemDevice((unsigned long long)st.st_dev, path)) {
          out.systemFolders << name;
          continue;
        }
        if (!bounds->OtherFileSystems()) {
          out.otherFileSystems << name;
          continue;
        }
      }
      out.folders << name;
    }
  }
  ::closedir(dir);
  SortNames(out.files);
  SortNames(out.folders);
  SortNames(out.otherFileSystems);
  SortNames(out.systemFolders);
  return out;
}

}  // namespace listing
