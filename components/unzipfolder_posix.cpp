// The target folder and the files of an extraction on POSIX systems: every
// folder below the target is reached name by name from an open descriptor
// (openat with O_NOFOLLOW), so a link planted on the way is never followed.
#include "unzipfolder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zip {

Folder::~Folder() {
  CloseCurrent();
  if (root_ >= 0) ::close(root_);
}

bool Folder::OpenRoot(const QString& root, QString* error) {
  rootPath_ = root;
  root_ = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_ < 0) {
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  return true;
}

bool Folder::Enter(const QStringList& parts, QString* refused, QString* error) {
  const QString relative = parts.join(u'/');
  if (entered_ && relative == relative_) return true;
  CloseCurrent();
  QString path = rootPath_;
  int at = root_;
  for (const QString& part : parts) {
    path += u'/' + part;
    const QByteArray name = QFile::encodeName(part);
    int next = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT) {
      if (::mkdirat(at, name.constData(), 0777) != 0 && errno != EEXIST) {
        *error = QStringLiteral("the folder %1 cannot be made: %2")
                     .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
        if (at != root_) ::close(at);
        return false;
      }
      next = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      const int why = errno;
      struct stat st;
      const bool link = ::fstatat(at, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
      if (at != root_) ::close(at);
      if (link)
        *refused = QStringLiteral("its path meets the symbolic link %1").arg(QDir::toNativeSeparators(path));
      else if (why == ENOTDIR || why == ELOOP)
        *refused = QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(path));
      else
        *error = QStringLiteral("the folder %1 cannot be opened: %2")
                     .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(why)));
      return false;
    }
    if (at != root_) ::close(at);
    at = next;
  }
  fd_ = at;
  path_ = path;
  relative_ = relative;
  entered_ = true;
  return true;
}

Folder::Kind Folder::Look(const QString& name) const {
  struct stat st;
  if (::fstatat(fd_, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Kind::None;
  return S_ISLNK(st.st_mode) ? Kind::Link : Kind::Other;
}

void Folder::CloseCurrent() {
  if (fd_ >= 0 && fd_ != root_) ::close(fd_);
  fd_ = -1;
  entered_ = false;
}

PartFile::~PartFile() {
  if (name_.isEmpty()) return;
  if (fd_ >= 0) ::close(fd_);
  ::unlinkat(folder_.fd(), name_.constData(), 0);
}

bool PartFile::Create(const QString& finalName, QString* error) {
  const QByteArray own = QFile::encodeName(finalName);
  fd_ = ::openat(folder_.fd(), own.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    name_ = own;
    direct_ = true;
    return true;
  }
  if (errno != EEXIST) {
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  for (int attempt = 0; attempt < 16; ++attempt) {
    name_ = ".unzip-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
    fd_ = ::openat(folder_.fd(), name_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) return true;
    if (errno == EEXIST) continue;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    break;
  }
  if (error->isEmpty()) *error = QStringLiteral("no free temporary name");
  name_.clear();
  return false;
}

bool PartFile::Write(const char* data, qint64 n, QString* error) {
  while (n > 0) {
    const ssize_t w = ::write(fd_, data, (size_t)n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      *error = QString::fromLocal8Bit(std::strerror(w < 0 ? errno : ENOSPC));
      return false;
    }
    data += w;
    n -= w;
  }
  return true;
}

void PartFile::Finish(qint64 mtime, bool hasTime, uint32_t unixMode) {
  if (hasTime) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {(time_t)mtime, 0}};
    ::futimens(fd_, times);
  }
  if (unixMode & 0111) {
    // Nothing becomes more readable or writable than a new file is.
    struct stat st;
    if (::fstat(fd_, &st) == 0) ::fchmod(fd_, (st.st_mode & 0777) | (unixMode & 0111));
  }
}

bool PartFile::Commit(const QString& name, QString* error) {
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 ||
      (!direct_ && ::renameat(folder_.fd(), name_.constData(), folder_.fd(), QFile::encodeName(name).constData()) != 0)) {
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  name_.clear();
  return true;
}

}  // namespace zip
