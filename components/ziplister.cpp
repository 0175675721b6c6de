#include "ziplister.h"

#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <new>

#include "ziparchive.h"
#include "zipwalk.h"

namespace zip {

Listing ListArchive(const QString& path) {
  Listing out;
  if (path.isEmpty() || !QFileInfo(path).isFile()) return out;
  try {
    const OpenedArchive opened = OpenArchive(path);
    if (opened.archive) {
      libzip::zip_t* archive = opened.archive.get();
      const libzip::zip_int64_t count = libzip::zip_get_num_entries(archive, 0);
      out.entries.reserve((size_t)std::max<libzip::zip_int64_t>(count, 0));
      for (libzip::zip_int64_t i = 0; i < count; ++i) {
        ZipDirEntry entry;
        if (ReadEntry(archive, (uint64_t)i, &entry)) out.entries.push_back(std::move(entry));
      }
      return out;
    }
    out = WalkLocalHeaders(path, QFileInfo(path).suffix().compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0);
    // The walk went through, but the archive has end records whose
    // directory could not be read: said, as extracting may well fail.
    if (out.error.isEmpty()) {
      if (opened.problem == OpenedArchive::Problem::TooManyEntries)
        out.error = opened.TooManyEntriesMessage(path);
      else if (opened.directory.endRecord)
        out.error = QStringLiteral(
            "The central directory of the zip file is damaged; its entries were found by reading the "
            "file from the start.");
    }
  } catch (const std::bad_alloc&) {
    out.error = QStringLiteral("The zip file cannot be listed: not enough memory.");
  } catch (const std::exception& e) {
    out.error = QStringLiteral("The zip file cannot be listed: %1").arg(QString::fromLocal8Bit(e.what()));
  }
  return out;
}

}  // namespace zip
