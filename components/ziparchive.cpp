#include "ziparchive.h"

#include <QDateTime>
#include <QFile>

#include <cstring>

namespace zip {

using namespace libzip;

QString OpenedArchive::TooManyEntriesMessage(const QString& path) const {
  return QStringLiteral("The zip file %1 is damaged: it claims %2 entries in a directory of %3 bytes.")
      .arg(path)
      .arg(directory.entries)
      .arg(directory.size);
}

OpenedArchive OpenArchive(const QString& path) {
  OpenedArchive opened;
  opened.directory = FindCentralDirectory(path);
  if (opened.directory.ClaimsTooManyEntries()) {
    opened.problem = OpenedArchive::Problem::TooManyEntries;
    return opened;
  }
  // A self-extracting archive whose offsets count from its own start is
  // read from there.
  const CentralDirectory& cd = opened.directory;
  const zip_uint64_t start = cd.found && cd.archiveStart > 0 ? (zip_uint64_t)cd.archiveStart : 0;
  zip_error_t error;
  zip_error_init(&error);
#ifdef _WIN32
  zip_source_t* source = zip_source_win32w_create(reinterpret_cast<const wchar_t*>(path.utf16()), start, 0, &error);
#else
  zip_source_t* source = zip_source_file_create(QFile::encodeName(path).constData(), start, 0, &error);
#endif
  if (source != nullptr) {
    opened.archive.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
    if (!opened.archive) zip_source_free(source);
  }
  if (!opened.archive) {
    opened.problem = OpenedArchive::Problem::Refused;
    opened.reason = QString::fromLocal8Bit(zip_error_strerror(&error));
  }
  zip_error_fini(&error);
  return opened;
}

std::optional<QString> EntryName(zip_t* archive, uint64_t index) {
  const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
  if (raw == nullptr) return std::nullopt;
  // The UTF-8 flag cannot change the result here: the library refuses to
  // open an archive whose flagged name is not valid UTF-8, and valid UTF-8
  // is read as UTF-8 anyway. A name the Unicode path field stands for comes
  // from the library as that field's UTF-8.
  return DecodeEntryName(raw, std::strlen(raw), false);
}

bool ReadEntry(zip_t* archive, uint64_t index, ZipDirEntry* entry) {
  std::optional<QString> name = EntryName(archive, index);
  if (!name) return false;
  entry->name = std::move(*name);
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, index, 0, &st) != 0) return true;
  if (st.valid & ZIP_STAT_SIZE) entry->uncompressedSize = st.size;
  if (st.valid & ZIP_STAT_COMP_SIZE) entry->compressedSize = st.comp_size;
  if (st.valid & ZIP_STAT_CRC) entry->crc32 = st.crc;
  // The library gives the stored MS-DOS date and time as a moment of local
  // time, the one extraction gives the file.
  if ((st.valid & ZIP_STAT_MTIME) && st.mtime != (time_t)-1)
    entry->SetModified(QDateTime::fromSecsSinceEpoch((qint64)st.mtime));
  return true;
}

}  // namespace zip
