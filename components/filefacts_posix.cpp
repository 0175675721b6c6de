// A file's size and date on POSIX systems: one stat, the local time straight
// from the C library (no time zone objects for the many files of a batch),
// and the files of a batch looked up from their folder held open.
#include "filefacts.h"

#include <QDir>
#include <QFile>

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace browse {

namespace {

FileFacts FactsOfStat(const struct stat& st) {
  FileFacts f;
  const time_t seconds = st.st_mtime;
  struct tm local;
  if (::localtime_r(&seconds, &local) == nullptr) return f;
  f.size = (int64_t)st.st_size;
  f.dosDate = PackDosDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec);
  return f;
}

}  // namespace

FileFacts FactsOf(const QString& path) {
  struct stat st;
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  return FactsOfStat(st);
}

FolderFacts::FolderFacts(const QString& folder) : folder_(folder) {
  if (!folder_.endsWith(u'/') && !folder_.endsWith(QDir::separator())) folder_ += QDir::separator();
  fd_ = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

FolderFacts::~FolderFacts() {
  if (fd_ >= 0) ::close(fd_);
}

FileFacts FolderFacts::Of(const QString& relative) const {
  if (fd_ >= 0) {
    struct stat st;
    if (::fstatat(fd_, QFile::encodeName(relative).constData(), &st, 0) != 0) return {};
    return FactsOfStat(st);
  }
  return FactsOf(folder_ + relative);
}

}  // namespace browse
