#include "unzip.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "ziparchive.h"
#include "unzipfolder.h"

namespace zip {

namespace {

using namespace libzip;

constexpr qint64 kProgressStep = 64 * 1024;
constexpr size_t kBufferSize = 256 * 1024;

// Unix file types in the high half of the external attributes.
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixSymlink = 0120000;

QString Quoted(const QString& name) { return u'"' + name + u'"'; }

struct EntryCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
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
      // The name the listing gives the entry, so the names the window
      // passes match.
      const std::optional<QString> entryName = EntryName(za, (zip_uint64_t)i);
      if (!entryName) continue;
      const QString& name = *entryName;
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
    const OpenedArchive opened = OpenArchive(archive);
    if (opened.problem == OpenedArchive::Problem::TooManyEntries) {
      result.error = opened.TooManyEntriesMessage(archive);
      return result;
    }
    if (!opened.archive) {
      result.error = QStringLiteral("The zip file %1 cannot be opened: %2").arg(archive, opened.reason);
      return result;
    }
    Extraction(folder, options, callbacks).Run(opened.archive.get(), names, &result);
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
