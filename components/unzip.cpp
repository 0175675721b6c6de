#include "unzip.h"

// libzip declares a struct named `zip` at global scope, which would clash
// with this namespace: its declarations are kept in a namespace of their
// own. The C headers it includes come first, outside that namespace.
#include <inttypes.h>
#include <stdio.h>
#include <sys/types.h>
#include <time.h>
namespace libzip {
#include <zip.h>
}  // namespace libzip

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QTimeZone>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

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

#include "ziplister.h"

namespace zip {

namespace {

using namespace libzip;

constexpr qint64 kProgressStep = 64 * 1024;
constexpr size_t kBufferSize = 256 * 1024;
constexpr int kCentralHeaderSize = 46;

// Unix file types in the high half of the external attributes.
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixSymlink = 0120000;

QString Quoted(const QString& name) { return u'"' + name + u'"'; }


// The parts of an entry's name that may be written below the folder, or
// why it may not be written at all.
struct SafeName {
  QStringList parts;  // folders, then the file (empty for the archive's root)
  bool directory = false;
  QString refusal;
};

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

struct ArchiveCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct EntryCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The target folder and the folders below it. No step of a path below the
// target follows a symbolic link (or, on Windows, any reparse point such as
// a junction): an entry whose path meets one is refused, so nothing is
// written anywhere but inside the folder the user chose. On POSIX systems
// the target is held open and every folder below it is reached name by name
// from it (openat with O_NOFOLLOW | O_DIRECTORY, mkdirat for a missing one);
// the folder of the last file stays open, as one folder usually holds many
// files in a row.
class Folder {
 public:
  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
    CloseCurrent();
#ifndef _WIN32
    if (root_ >= 0) ::close(root_);
#endif
  }

  // Opens the target folder itself (a link the user chose as the target is
  // followed: it is where the user pointed).
  bool OpenRoot(const QString& root, QString* error) {
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

  // Makes the folder `parts` below the target the current one, making the
  // missing folders on the way. Returns false with *refused set when a step
  // is a link (or not a folder), or with *error when it cannot be made.
  bool Enter(const QStringList& parts, QString* refused, QString* error) {
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

  // The full path of the current folder.
  const QString& path() const { return path_; }

  // What is at `name` in the current folder, the link itself for a link.
  enum class Kind { None, Link, Other };
  Kind Look(const QString& name) const {
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

#ifndef _WIN32
  int fd() const { return fd_; }
#endif

 private:
  void CloseCurrent() {
#ifndef _WIN32
    if (fd_ >= 0 && fd_ != root_) ::close(fd_);
    fd_ = -1;
#endif
    entered_ = false;
  }
  QString rootPath_;
  QString path_;      // the current folder
  QString relative_;  // the current folder below the target
  bool entered_ = false;
#ifndef _WIN32
  int root_ = -1;
  int fd_ = -1;
#endif
};

// A file being written in a folder under a temporary name. It takes its
// own name only through Commit; otherwise it is removed when it goes out of
// scope. On POSIX systems it is written with the plain system calls (one
// open, the writes, one time stamp, one close, one rename: creating many
// small files is most of an extraction's cost).
class PartFile {
 public:
  explicit PartFile(const Folder& folder) : folder_(folder) {}
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  ~PartFile() {
    if (name_.isEmpty()) return;
#ifdef _WIN32
    file_.close();
    QFile::remove(file_.fileName());
#else
    if (fd_ >= 0) ::close(fd_);
    ::unlinkat(folder_.fd(), name_.constData(), 0);
#endif
  }

  // A name that nothing holds yet is written under that name at once:
  // there is no old file to spoil, and a failed or stopped file is removed
  // all the same. Otherwise the file is written under a temporary name and
  // takes its own only through Commit.
  bool Create(const QString& finalName, QString* error) {
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

  bool Write(const char* data, qint64 n, QString* error) {
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

  // The modification time (seconds since the epoch) and, on POSIX systems,
  // the execute permissions of a program (unixMode with execute bits).
  void Finish(qint64 mtime, bool hasTime, uint32_t unixMode) {
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

  // Closes the file and renames it to `name` in its folder (replacing a
  // file there).
  bool Commit(const QString& name, QString* error) {
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

  // Whether the file is written under its own name.
  bool Direct() const { return direct_; }

 private:
  const Folder& folder_;
  QByteArray name_;  // the name it is written under
  bool direct_ = false;
#ifdef _WIN32
  QFile file_;
#else
  int fd_ = -1;
#endif
};

class Extraction {
 public:
  Extraction(const QString& folder, const ExtractOptions& options, const ExtractCallbacks& callbacks)
      : folder_(folder), options_(options), callbacks_(callbacks), buffer_(kBufferSize) {
    while (folder_.size() > 1 && (folder_.endsWith(u'/') || folder_.endsWith(u'\\'))) folder_.chop(1);
  }

  void Run(zip_t* za, const QStringList& names, ExtractResult* result) {
    result_ = result;
    QString error;
    if (!writing_.OpenRoot(folder_, &error)) {
      result_->error = QStringLiteral("The folder %1 cannot be opened: %2; nothing was extracted.")
                           .arg(QDir::toNativeSeparators(folder_), error);
      return;
    }
    // Names are matched exactly: two entries whose names differ only in
    // letter case are two files on most file systems, and only the one
    // asked for is extracted.
    const QSet<QString> wanted(names.begin(), names.end());
    QSet<QString> found;
    const zip_int64_t count = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < count && !result_->stopped; ++i) {
      const char* raw = zip_get_name(za, (zip_uint64_t)i, ZIP_FL_ENC_RAW);
      if (raw == nullptr) continue;
      // Decoded as the listing decodes it, so the names the window passes
      // match. The UTF-8 flag cannot change the result here: the library
      // refuses to open an archive whose flagged name is not valid UTF-8.
      const QString name = DecodeEntryName(raw, std::strlen(raw), false);
      if (!wanted.isEmpty()) {
        if (!wanted.contains(name)) continue;
        found.insert(name);
      }
      Entry(za, (zip_uint64_t)i, name);
    }
    if (result_->stopped) return;
    for (const QString& n : names)
      if (!found.contains(n) && !Message(kExtractNote, Quoted(n) + QStringLiteral(" is not in the archive.")))
        return;
  }

 private:
  bool Message(int code, const QString& text) {
    if (callbacks_.message && !callbacks_.message(code, text)) result_->stopped = true;
    return !result_->stopped;
  }
  bool Progress(ExtractCallbacks::Step step, const QString& name, qint64 size) {
    if (callbacks_.progress && !callbacks_.progress(step, name, size)) result_->stopped = true;
    return !result_->stopped;
  }
  void NotExtracted(int code, const QString& name, const QString& why) {
    Message(code, Quoted(name) + QStringLiteral(" was not extracted: ") + why + u'.');
  }

  // Makes the folder `parts` below the target the one written in, making
  // what is missing; a link on the way refuses the entry.
  bool EnterFolder(const QStringList& parts, const QString& name) {
    QString refused, error;
    if (writing_.Enter(parts, &refused, &error)) return true;
    if (!refused.isEmpty())
      NotExtracted(kExtractRefused, name, refused);
    else
      NotExtracted(kExtractWriteFailed, name, error);
    return false;
  }

  void Entry(zip_t* za, zip_uint64_t index, const QString& name) {
    const SafeName safe = CheckName(name);
    if (!safe.refusal.isEmpty()) return NotExtracted(kExtractRefused, name, safe.refusal);
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) != 0) opsys = 0xFF;
    const uint32_t unixMode = opsys == ZIP_OPSYS_UNIX ? attributes >> 16 : 0;
    if ((unixMode & kUnixTypeMask) == kUnixSymlink)
      return NotExtracted(kExtractRefused, name, QStringLiteral("it is a symbolic link"));
    if (safe.directory) {
      if (options_.dirNames && !safe.parts.isEmpty()) EnterFolder(safe.parts, name);
      return;
    }
    if (safe.parts.isEmpty()) return NotExtracted(kExtractRefused, name, QStringLiteral("it has no file name"));

    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, index, 0, &st) != 0)
      return NotExtracted(kExtractBadData, name, QString::fromLocal8Bit(zip_strerror(za)));
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) return Encrypted(name);

    const QStringList folders = options_.dirNames ? safe.parts.mid(0, safe.parts.size() - 1) : QStringList();
    if (!EnterFolder(folders, name)) return;
    const QString& file = safe.parts.last();
    const QString dest = writing_.path() + u'/' + file;
    // A link in the file's place is neither written through nor replaced.
    // Otherwise replacing needs no look first: the rename replaces a file
    // and fails on a folder.
    const Folder::Kind there = writing_.Look(file);
    if (there == Folder::Kind::Link)
      return NotExtracted(kExtractRefused, name,
                          QStringLiteral("%1 is a symbolic link").arg(QDir::toNativeSeparators(dest)));
    if (!options_.overwrite && there != Folder::Kind::None) {
      Message(kExtractNote, Quoted(QDir::toNativeSeparators(dest)) + QStringLiteral(" exists and was left as it is."));
      return;
    }

    const qint64 declared = (st.valid & ZIP_STAT_SIZE) ? (qint64)std::min<zip_uint64_t>(st.size, INT64_MAX) : -1;
    if (!Progress(ExtractCallbacks::Step::FileStarts, name, std::max<qint64>(declared, 0))) return;
    std::unique_ptr<zip_file_t, EntryCloser> in(zip_fopen_index(za, index, 0));
    if (!in) {
      const int code = zip_error_code_zip(zip_get_error(za));
      if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP) return Encrypted(name);
      return NotExtracted(kExtractBadData, name, QString::fromLocal8Bit(zip_strerror(za)));
    }
    QString error;
    PartFile part(writing_);
    if (!part.Create(file, &error)) return NotExtracted(kExtractWriteFailed, name, error);
    qint64 written = 0, nextStep = kProgressStep;
    for (;;) {
      const zip_int64_t n = zip_fread(in.get(), buffer_.data(), buffer_.size());
      if (n == 0) break;
      if (n < 0) {
        const int code = zip_error_code_zip(zip_file_get_error(in.get()));
        if (code == ZIP_ER_CRC)
          return NotExtracted(kExtractBadData, name, QStringLiteral("its data fails the CRC check (it is damaged)"));
#ifdef ZIP_ER_DATA_LENGTH
        if (code == ZIP_ER_DATA_LENGTH)
          return NotExtracted(kExtractBadData, name,
                              QStringLiteral("its data does not have its declared size of %1 bytes").arg(declared));
#endif
        return NotExtracted(kExtractBadData, name, QString::fromLocal8Bit(zip_file_strerror(in.get())));
      }
      // The count is ours: a stream that inflates past the declared size is
      // stopped here, whatever the library would make of it.
      if (declared >= 0 && n > declared - written)
        return NotExtracted(kExtractBadData, name,
                            QStringLiteral("it holds more data than its declared size of %1 bytes").arg(declared));
      if (!part.Write(buffer_.data(), n, &error)) return NotExtracted(kExtractWriteFailed, name, error);
      written += n;
      if (written >= nextStep) {
        nextStep = (written / kProgressStep + 1) * kProgressStep;
        if (!Progress(ExtractCallbacks::Step::Progress, name, written)) return;
      }
    }
    if (declared >= 0 && written != declared)
      return NotExtracted(kExtractBadData, name,
                          QStringLiteral("it holds %1 bytes instead of its declared %2").arg(written).arg(declared));
    part.Finish((qint64)st.mtime, (st.valid & ZIP_STAT_MTIME) != 0, unixMode);
    if (!options_.overwrite && !part.Direct() && writing_.Look(file) != Folder::Kind::None) {  // it appeared meanwhile
      Message(kExtractNote, Quoted(QDir::toNativeSeparators(dest)) + QStringLiteral(" exists and was left as it is."));
      return;
    }
    if (!part.Commit(file, &error)) return NotExtracted(kExtractWriteFailed, name, error);
    ++result_->extracted;
    Progress(ExtractCallbacks::Step::FileEnds, name, written);
  }

  void Encrypted(const QString& name) {
    Message(kExtractEncrypted, Quoted(name) + QStringLiteral(" is encrypted: a password is needed to extract it, so it was not extracted."));
  }

  QString folder_;
  ExtractOptions options_;
  const ExtractCallbacks& callbacks_;
  ExtractResult* result_ = nullptr;
  std::vector<char> buffer_;
  Folder writing_;  // the target, and the folder of the last file written
};

}  // namespace

ExtractResult Extract(const QString& archive, const QString& folder, const QStringList& names,
                      const ExtractOptions& options, const ExtractCallbacks& callbacks) {
  ExtractResult result;
  try {
    if (archive.isEmpty() || !QFileInfo(archive).isFile()) {
      result.error = QStringLiteral("Error: file not found: ") + archive;
      return result;
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
      result.error = QStringLiteral("The folder %1 does not exist; nothing was extracted.").arg(folder);
      return result;
    }
    // A directory that claims more entries than its bytes can hold is
    // refused before the library sizes anything by that claim.
    const CentralDirectory cd = FindCentralDirectory(archive);
    if (cd.found && cd.entries > cd.size / kCentralHeaderSize) {
      result.error = QStringLiteral("The zip file %1 is damaged: it claims %2 entries in a directory of %3 bytes.")
                         .arg(archive)
                         .arg(cd.entries)
                         .arg(cd.size);
      return result;
    }
    // A self-extracting archive whose offsets count from its own start is
    // read from there.
    const zip_uint64_t start = cd.found && cd.archiveStart > 0 ? (zip_uint64_t)cd.archiveStart : 0;
    zip_error_t error;
    zip_error_init(&error);
#ifdef _WIN32
    zip_source_t* source = zip_source_win32w_create(reinterpret_cast<const wchar_t*>(archive.utf16()), start, 0, &error);
#else
    zip_source_t* source = zip_source_file_create(QFile::encodeName(archive).constData(), start, 0, &error);
#endif
    std::unique_ptr<zip_t, ArchiveCloser> za;
    if (source != nullptr) {
      za.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
      if (!za) zip_source_free(source);
    }
    if (!za) {
      result.error = QStringLiteral("The zip file %1 cannot be opened: %2")
                         .arg(archive, QString::fromLocal8Bit(zip_error_strerror(&error)));
      zip_error_fini(&error);
      return result;
    }
    zip_error_fini(&error);
    Extraction(folder, options, callbacks).Run(za.get(), names, &result);
  } catch (const std::bad_alloc&) {
    result.stopped = true;
    result.error = QStringLiteral("The extraction stopped: not enough memory.");
  } catch (const std::exception& e) {
    result.stopped = true;
    result.error = QStringLiteral("The extraction stopped: %1").arg(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    result.stopped = true;
    result.error = QStringLiteral("The extraction stopped on an unexpected error.");
  }
  return result;
}

}  // namespace zip
