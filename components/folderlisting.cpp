#include "folderlisting.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace listing {

NameMasks::NameMasks(const QString& mask) {
  for (QString p : mask.split(u';', Qt::SkipEmptyParts)) {
    p = p.trimmed();
    if (p.isEmpty()) continue;
    if (p == u"*" || p == u"*.*") {
      all_ = true;
      continue;
    }
    patterns_.emplace_back(QRegularExpression::wildcardToRegularExpression(p),
                           QRegularExpression::CaseInsensitiveOption);
  }
  if (all_) patterns_.clear();
}

bool NameMasks::Matches(const QString& name) const {
  if (all_) return true;
  for (const QRegularExpression& re : patterns_)
    if (re.match(name).hasMatch()) return true;
  return false;
}

void SortNames(QStringList& names) {
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
  });
}

FolderEntries ReadFolderEntries(const QString& folder, const NameMasks& masks, bool withFolders) {
  FolderEntries out;
  if (folder.isEmpty() || (masks.Empty() && !withFolders)) return out;
#ifdef Q_OS_UNIX
  DIR* dir = ::opendir(QFile::encodeName(folder).constData());
  if (dir == nullptr) return out;
  out.readable = true;
  const int fd = ::dirfd(dir);
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
      out.folders << QFile::decodeName(e->d_name);
    }
  }
  ::closedir(dir);
#else
  const QDir dir(folder);
  if (!dir.exists() || !dir.isReadable()) return out;
  out.readable = true;
  QDirIterator files(folder, QDir::Files | QDir::NoDotAndDotDot);
  while (files.hasNext()) {
    files.next();
    if (masks.Matches(files.fileName())) out.files << files.fileName();
  }
  if (withFolders) {
    QDirIterator folders(folder, QDir::Dirs | QDir::NoDotAndDotDot);
    while (folders.hasNext()) {
      folders.next();
      if (!folders.fileInfo().isSymLink()) out.folders << folders.fileName();
    }
  }
#endif
  SortNames(out.files);
  SortNames(out.folders);
  return out;
}

}  // namespace listing
