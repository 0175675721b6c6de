#include "unzipfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimeZone>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <system_error>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zip {

SafeName CheckName(QString name) {
  SafeName s;
  name.replace(u'\\', u'/');
  s.directory = name.endsWith(u'/');
  if (name.startsWith(u'/')) {
    s.refusal = QStringLiteral("its name is an absolute path");
    return s;
  }
  if (name.size() >= 2 && name[1] == u':' && name[0].unicode() < 0x80 && name[0].isLetter()) {
    s.refusal = QStringLiteral("its name begins with a drive letter");
    return s;
  }
  for (const QString& part : name.split(u'/', Qt::SkipEmptyParts)) {
    if (part == QLatin1String(".")) continue;
    if (part == QLatin1String("..")) {
      s.refusal = QStringLiteral("its name leads out of the folder (\"..\")");
      return s;
    }
#ifdef _WIN32
    // A colon inside a name would write to a stream of another file.
    if (part.contains(u':')) {
      s.refusal = QStringLiteral("its name holds a colon");
      return s;
    }
#endif
    s.parts.append(part);
  }
  return s;
}

Folder::~Folder() {
  CloseCurrent();
#ifndef _WIN32
  if (root_ >= 0) ::close(root_);
#endif
}

bool Folder::OpenRoot(const QString& root, QString* error) {
  rootPath_ = root;
#ifndef _WIN32
  root_ = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_ < 0) {
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
#else
  (void)error;
#endif
  return true;
}

bool Folder::Enter(const QStringList& parts, QString* refused, QString* error) {
  const QString relative = parts.join(u'/');
  if (entered_ && relative == relative_) return true;
  CloseCurrent();
  QString path = rootPath_;
#ifndef _WIN32
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
#else
  for (const QString& part : parts) {
    path += u'/' + part;
    DWORD attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!::CreateDirectoryW(reinterpret_cast<const wchar_t*>(path.utf16()), nullptr) &&
          ::GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(path));
        return false;
      }
      attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()));
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      *refused = QStringLiteral("its path meets the link %1").arg(QDir::toNativeSeparators(path));
      return false;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *refused = QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(path));
      return false;
    }
  }
#endif
  path_ = path;
  relative_ = relative;
  entered_ = true;
  return true;
}

Folder::Kind Folder::Look(const QString& name) const {
#ifndef _WIN32
  struct stat st;
  if (::fstatat(fd_, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Kind::None;
  return S_ISLNK(st.st_mode) ? Kind::Link : Kind::Other;
#else
  const DWORD attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>((path_ + u'/' + name).utf16()));
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::None;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Kind::Link : Kind::Other;
#endif
}

void Folder::CloseCurrent() {
#ifndef _WIN32
  if (fd_ >= 0 && fd_ != root_) ::close(fd_);
  fd_ = -1;
#endif
  entered_ = false;
}

PartFile::~PartFile() {
  if (name_.isEmpty()) return;
#ifdef _WIN32
  file_.close();
  QFile::remove(file_.fileName());
#else
  if (fd_ >= 0) ::close(fd_);
  ::unlinkat(folder_.fd(), name_.constData(), 0);
#endif
}

bool PartFile::Create(const QString& finalName, QString* error) {
#ifndef _WIN32
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
#else
  (void)finalName;
#endif
  for (int attempt = 0; attempt < 16; ++attempt) {
    name_ = ".unzip-" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
#ifdef _WIN32
    file_.setFileName(folder_.path() + u'/' + QString::fromLatin1(name_));
    if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) return true;
    if (QFileInfo::exists(file_.fileName())) continue;  // a name taken: another one
    *error = file_.errorString();
#else
    fd_ = ::openat(folder_.fd(), name_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) return true;
    if (errno == EEXIST) continue;
    *error = QString::fromLocal8Bit(std::strerror(errno));
#endif
    break;
  }
  if (error->isEmpty()) *error = QStringLiteral("no free temporary name");
  name_.clear();
  return false;
}

bool PartFile::Write(const char* data, qint64 n, QString* error) {
#ifdef _WIN32
  if (file_.write(data, n) == n) return true;
  *error = file_.errorString();
  return false;
#else
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
#endif
}

void PartFile::Finish(qint64 mtime, bool hasTime, uint32_t unixMode) {
#ifdef _WIN32
  if (hasTime)
    file_.setFileTime(QDateTime::fromSecsSinceEpoch(mtime, QTimeZone::utc()), QFileDevice::FileModificationTime);
#else
  if (hasTime) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {(time_t)mtime, 0}};
    ::futimens(fd_, times);
  }
  if (unixMode & 0111) {
    // Nothing becomes more readable or writable than a new file is.
    struct stat st;
    if (::fstat(fd_, &st) == 0) ::fchmod(fd_, (st.st_mode & 0777) | (unixMode & 0111));
  }
#endif
}

bool PartFile::Commit(const QString& name, QString* error) {
#ifdef _WIN32
  file_.close();
  if (file_.error() != QFileDevice::NoError) {
    *error = file_.errorString();
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(std::filesystem::path(file_.fileName().toStdWString()),
                          std::filesystem::path((folder_.path() + u'/' + name).toStdWString()), ec);
  if (ec) {
    *error = QString::fromLocal8Bit(ec.message().c_str());
    return false;
  }
#else
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 ||
      (!direct_ && ::renameat(folder_.fd(), name_.constData(), folder_.fd(), QFile::encodeName(name).constData()) != 0)) {
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
#endif
  name_.clear();
  return true;
}

}  // namespace zip
